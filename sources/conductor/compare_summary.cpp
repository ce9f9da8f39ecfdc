#include "conductor/compare_summary.hpp"

#include <algorithm>
#include <cstdio>

#include "common/name_form.hpp"

#include "conductor/change_lines.hpp"

namespace tesmira::conductor {
namespace {

using Kind = CompareItem::Kind;

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

std::string pair_names(const CompareItem& item) {
    return line_safe_name(item.before_name) + " → " + line_safe_name(item.after_name) + ": ";
}

// "a.pdf → a.pdf: 3 pages, 1 changed" and a line for each changed page.
std::string compared_lines(const CompareItem& item, const std::vector<const Json*>& pages) {
    long long changed = 0;
    std::string lines;
    for (const Json* page : pages)
        if (differs(*page)) {
            ++changed;
            lines += page_line(*page);
        }
    const std::string verdict = changed == 0 ? "unchanged" : std::to_string(changed) + " changed";
    return pair_names(item) + plural(static_cast<long long>(pages.size()), "page") + ", " + verdict + "\n" + lines;
}

std::string item_lines(const CompareItem& item, const std::vector<const Json*>& pages) {
    switch (item.kind) {
        case Kind::compared:
            return compared_lines(item, pages);
        case Kind::page_counts_differ:
            return pair_names(item) + std::to_string(item.before_pages) + " and " + std::to_string(item.after_pages) +
                   " pages, different page counts\n";
        case Kind::only_before:
            return "only in OLD: " + line_safe_name(item.before_name) + "\n";
        case Kind::only_after:
            return "only in NEW: " + line_safe_name(item.after_name) + "\n";
    }
    return {};
}

}  // namespace

void CompareSummary::take(const std::string& event, const Json& fields) {
    if (event != "complete") return;
    pages_ = fields.value("pages", Json::array());
    output_ = fields.value("output", "");
}

bool CompareSummary::any_difference() const {
    const bool set_aside =
        std::any_of(items_.begin(), items_.end(), [](const CompareItem& item) { return item.kind != Kind::compared; });
    return set_aside || std::any_of(pages_.begin(), pages_.end(), differs);
}

// A run of one pair names no source in its pages; a run of several names each page's old file.
std::vector<const Json*> CompareSummary::pages_of(const CompareItem& item) const {
    const auto compared = std::count_if(
        items_.begin(), items_.end(), [](const CompareItem& other) { return other.kind == Kind::compared; });
    std::vector<const Json*> pages;
    for (const Json& page : pages_)
        if (compared == 1 || page.value("source_name", "") == item.before.filename().string()) pages.push_back(&page);
    return pages;
}

std::string CompareSummary::text(bool result_kept) const {
    std::string text;
    for (const CompareItem& item : items_) text += item_lines(item, pages_of(item));
    if (result_kept && !output_.empty()) text += "Result folder: " + line_safe_name(output_) + "\n";
    return text;
}

}  // namespace tesmira::conductor
