#pragma once
#include "common/json.hpp"

namespace tesmira::conductor {

// Where a page's regions are, as the engine found them: "boxes" (bounding boxes in pixels of the
// result image below its information band, the first 200), "boxes_truncated", "header_height"
// (the band's height, so that a box's row on the result page is its y plus the band),
// "look_only_places", how many places of a page on its plates look different on identical
// plates, which get no region, and the regions grouped into changes with their places and
// words, "changes_left_out" and "changes" (engine/page_changes.hpp). The "complete" event
// carries them as the last keys of each page
// report; the job report ("検版情報.json") does not.
Json page_regions(const Json& engine_record);

// Takes the region fields out of a page report of the "complete" event and returns them.
Json take_page_regions(Json& report);

}  // namespace tesmira::conductor
