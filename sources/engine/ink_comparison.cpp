#include "engine/ink_comparison.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "engine/ink_note.hpp"

namespace tesmira::engine {
namespace {

using InksWithin = std::vector<std::string> (PlateComparison::*)(const cv::Rect&) const;

// The inks that `within` finds in any of `boxes` (canvas pixels), in the order the plates were
// compared, whatever the order of the boxes.
std::vector<std::string> inks_within_any(const PlateComparison& plates, InksWithin within,
                                         const std::vector<cv::Rect>& boxes) {
    const cv::Point margin(CANVAS_MARGIN, CANVAS_MARGIN);
    std::vector<std::string> found;
    for (const cv::Rect& box : boxes)
        for (std::string& ink : (plates.*within)(box - margin))
            if (std::find(found.begin(), found.end(), ink) == found.end()) found.push_back(std::move(ink));
    std::vector<std::string> ordered;
    for (const std::string& ink : plates.inks)
        if (std::find(found.begin(), found.end(), ink) != found.end()) ordered.push_back(ink);
    return ordered;
}

}  // namespace

std::optional<InkComparison> InkComparison::of(RenderedPage& before, RenderedPage& after, int tolerance) {
    if (!before.plates || !after.plates) return std::nullopt;
    InkComparison out;
    out.plates_ = compare_plates(*before.plates, *after.plates, tolerance);
    out.printed_ = {out.plates_.ink_difference, !out.plates_.restyled_inks.empty()};
    before.plates.reset();
    after.plates.reset();
    return out;
}

void InkComparison::tell(cv::Mat& result, const CompareResult& compared, double dpi) const {
    const auto& ink_only = compared.ink_only;
    const auto& look_only = compared.look_only;
    note_ink_only_changes(
        result, int(ink_only.size()), inks_within_any(plates_, &PlateComparison::inks_differing_within, ink_only), dpi);
    note_look_only_changes(result,
                           int(look_only.size()),
                           inks_within_any(plates_, &PlateComparison::inks_restyled_within, look_only),
                           dpi);
}

}  // namespace tesmira::engine
