// Writes an old and a new version of a catalogue PDF:
//   make_pdf_pair OLD.pdf NEW.pdf PAGES CHANGED_PAGE... [--photo PIXELS]
// The listed pages (from 1) differ between the two versions; the others are identical.
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "sample_document.hpp"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s OLD.pdf NEW.pdf PAGES [CHANGED_PAGE ...] [--photo PIXELS]\n", argv[0]);
        return 2;
    }
    const int pages = std::atoi(argv[3]);
    int photo = 1500;
    std::set<int> changed;
    for (int i = 4; i < argc; ++i) {
        if (std::string(argv[i]) == "--photo" && i + 1 < argc)
            photo = std::atoi(argv[++i]);
        else
            changed.insert(std::atoi(argv[i]));
    }
    tesmira::fixtures::Document before, after;
    for (int page = 1; page <= pages; ++page) {
        before.pages.push_back(tesmira::bench::catalogue_page(page, false, photo));
        after.pages.push_back(tesmira::bench::catalogue_page(page, changed.count(page) > 0, photo));
    }
    tesmira::fixtures::write_pdf(before, argv[1]);
    tesmira::fixtures::write_pdf(after, argv[2]);
    return 0;
}
