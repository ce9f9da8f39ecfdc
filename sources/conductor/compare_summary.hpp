#pragma once
#include <string>

#include "common/json.hpp"

namespace tesmira::conductor {

// What tesmira-compare tells a person about a run, taken from the run's events.
class CompareSummary {
public:
    // Keeps the page reports of a "complete" event; other events change nothing.
    void take(const std::string& event, const Json& fields);

    // Whether any page has a changed region, counted before noise suppression: the strict
    // result's regions count too, so that a change taken for image noise still shows.
    bool any_page_differs() const;

    // Each file's pages and the changed ones with their regions and their changes
    // (change_lines), then the result folder when it is kept. One line each, for a terminal.
    std::string text(bool result_kept) const;

private:
    Json pages_ = Json::array();
    std::string output_;
};

}  // namespace tesmira::conductor
