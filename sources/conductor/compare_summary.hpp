#pragma once
#include <string>
#include <vector>

#include "common/json.hpp"
#include "conductor/compare_inputs.hpp"

namespace tesmira::conductor {

// What tesmira-compare tells a person about a run: a line for every item of OLD and NEW, taken
// from the items themselves and the run's "complete" event.
class CompareSummary {
public:
    explicit CompareSummary(std::vector<CompareItem> items) : items_(std::move(items)) {}

    // Keeps the page reports of a "complete" event; other events change nothing.
    void take(const std::string& event, const Json& fields);

    // Whether OLD and NEW differ: a page with a changed region, counted before noise
    // suppression (the strict result's regions count too, so that a change taken for image
    // noise still shows), a pair of different page counts, or a PDF without a partner.
    bool any_difference() const;

    // "OLD → NEW: 2 pages, unchanged", "OLD → NEW: 3 pages, 1 changed" with a line for each
    // changed page and one for each of its changes (change_lines), "OLD → NEW: 3 and 2 pages,
    // different page counts", "only in OLD: NAME", "only in NEW: NAME", then the result folder
    // when it is kept. One line each.
    std::string text(bool result_kept) const;

private:
    std::vector<const Json*> pages_of(const CompareItem& item) const;

    std::vector<CompareItem> items_;
    Json pages_ = Json::array();
    std::string output_;
};

}  // namespace tesmira::conductor
