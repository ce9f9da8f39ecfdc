#pragma once
// A compared page's changes: its regions grouped by the change rule (common/change_groups.hpp),
// each with its place on the page and the words under it on the old and the new page.
#include <opencv2/core.hpp>

#include <array>
#include <cstddef>
#include <filesystem>
#include <vector>

#include "common/change_groups.hpp"
#include "common/json.hpp"
#include "engine/change_words.hpp"

namespace tesmira::engine {

// A page lists at most this many changes; the rest are counted.
inline constexpr std::size_t MAX_LISTED_CHANGES = 5000;
// The words a page report carries at most, in characters: each text and span, and all of a
// page's together (a page of text under thousands of changes would otherwise make reports of
// gigabytes, each change repeating its whole lines).
inline constexpr std::size_t MAX_TEXT_CHARACTERS = 1000;
inline constexpr std::size_t MAX_PAGE_TEXT_CHARACTERS = 100'000;
// How much of the pages' text the search for a page's words may look at (change_words' work):
// a hostile page of millions of characters under thousands of changes is bounded by a count,
// so the outcome does not depend on the machine. The changes beyond have "…" as their texts.
inline constexpr std::size_t MAX_WORD_SEARCH = 50'000'000;

struct Change {
    PixelBox box;                    // the union of its regions, in pixels of the canvas
    std::array<double, 4> box_mm{};  // left, top, width, height in mm from the trim box's top left
    int regions = 0;
    ChangeWords words;
};

struct PageChanges {
    std::vector<Change> listed;  // in reading order
    long long left_out = 0;
    // "changes_left_out", then "changes": for each listed change "box" and "box_mm" (each
    // [x, y, width, height]), "regions", "old_text", "new_text", "old_span" and "new_span".
    Json to_json() const;
};

// Bounds the changes' words, in order: a text or span longer than MAX_TEXT_CHARACTERS is cut
// there with "…", and once the texts kept reach MAX_PAGE_TEXT_CHARACTERS the further changes'
// texts and spans that are not empty are "…".
void bound_words(std::vector<Change>& changes);

// The changes of a page compared at `dpi` whose regions have the bounding boxes `regions`
// (canvas pixels, as compare_arrays gives them): the regions grouped by group_changes with
// the gap at `dpi`, the first MAX_LISTED_CHANGES in reading order each with its millimetres
// and its words (change_words within MAX_WORD_SEARCH, then bound_words) on page `page` of
// `before_pdf` and of `after_pdf`. The pages' text is read only when there is a change.
PageChanges find_changes(const std::filesystem::path& before_pdf, const std::filesystem::path& after_pdf, int page,
                         double dpi, const std::vector<cv::Rect>& regions);

}  // namespace tesmira::engine
