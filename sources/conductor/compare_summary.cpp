#include "conductor/compare_summary.hpp"

#include <cstdio>
#include <vector>

#include "conductor/change_lines.hpp"

namespace tesmira::conductor {
namespace {

long long strict_regions(const Json& page) {
    const Json& noise = page.value("grain", Json::object());
    return noise.value("strict_regions", page.value("regions", 0LL));
}

bool differs(const Json& page) { return page.value("regions", 0LL) > 0 || strict_regions(page) > 0; }

std::string plural(long long count, const std::string& word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

std::string page_line(const Json& page) {
    const long long regions = page.value("regions", 0LL);
    std::string line = "  page " + std::to_string(page.value("page", 0LL)) + ": " + plural(regions, "region");
    if (regions > 0) {
        char percent[32];
        std::snprintf(percent, sizeof percent, " (%.4g%% of the page)", page.value("changed_percent", 0.0));
        line += percent;
    }
    if (strict_regions(page) != regions)
        line += ", " + plural(strict_regions(page), "region") + " without noise suppression";
    return line + "\n" + change_lines(page);
}

// "name.pdf: 3 pages, 1 changed" and a line for each changed page.
std::string file_lines(const std::string& name, const std::vector<const Json*>& pages) {
    long long changed = 0;
    std::string lines;
    for (const Json* page : pages)
        if (differs(*page)) {
            ++changed;
            lines += page_line(*page);
        }
    const std::string verdict = changed == 0 ? "no change" : std::to_string(changed) + " changed";
    return name + ": " + plural(static_cast<long long>(pages.size()), "page") + ", " + verdict + "\n" + lines;
}

}  // namespace

void CompareSummary::take(const std::string& event, const Json& fields) {
    if (event != "complete") return;
    pages_ = fields.value("pages", Json::array());
    output_ = fields.value("output", "");
}

bool CompareSummary::any_page_differs() const {
    for (const Json& page : pages_)
        if (differs(page)) return true;
    return false;
}

std::string CompareSummary::text(bool result_kept) const {
    std::string text;
    // The pages come file after file; a file's name starts its group.
    std::string name;
    std::vector<const Json*> group;
    for (const Json& page : pages_) {
        const std::string source = page.value("source_name", "");
        if (!group.empty() && source != name) {
            text += file_lines(name, group);
            group.clear();
        }
        name = source;
        group.push_back(&page);
    }
    if (!group.empty()) text += file_lines(name, group);
    if (result_kept) text += "Result folder: " + output_ + "\n";
    return text;
}

}  // namespace tesmira::conductor
