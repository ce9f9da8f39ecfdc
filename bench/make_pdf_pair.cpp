// Writes an old and a new version of a catalogue PDF:
//   make_pdf_pair OLD.pdf NEW.pdf PAGES CHANGED_PAGE... [--photo PIXELS] [--press] [--jpeg]
// The listed pages (from 1) differ between the two versions; the others are identical. With
// --press the pages are made for the press: CMYK, two spot inks and overprint; with --jpeg
// the photos are JPEG images.
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>

#include "sample_document.hpp"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: %s OLD.pdf NEW.pdf PAGES [CHANGED_PAGE ...] [--photo PIXELS] [--press] [--jpeg]\n",
                     argv[0]);
        return 2;
    }
    const int pages = std::atoi(argv[3]);
    int photo = 1500;
    bool press = false, jpeg = false;
    std::set<int> changed;
    for (int i = 4; i < argc; ++i) {
        if (std::string(argv[i]) == "--photo" && i + 1 < argc)
            photo = std::atoi(argv[++i]);
        else if (std::string(argv[i]) == "--press")
            press = true;
        else if (std::string(argv[i]) == "--jpeg")
            jpeg = true;
        else
            changed.insert(std::atoi(argv[i]));
    }
    const auto make_page = press ? tesmira::bench::press_catalogue_page : tesmira::bench::catalogue_page;
    tesmira::fixtures::Document before, after;
    for (int page = 1; page <= pages; ++page) {
        before.pages.push_back(make_page(page, false, photo));
        after.pages.push_back(make_page(page, changed.count(page) > 0, photo));
    }
    for (const auto& [doc, path] : {std::pair{&before, argv[1]}, std::pair{&after, argv[2]}}) {
        tesmira::fixtures::write_pdf(*doc, path);
        if (press) tesmira::bench::add_press_resources(path);
        if (jpeg) tesmira::bench::use_jpeg_photos(path);
    }
    return 0;
}
