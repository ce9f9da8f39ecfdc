#include "engine/ink_comparison.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "engine/ink_note.hpp"

namespace tesmira::engine {

std::optional<InkComparison> InkComparison::of(RenderedPage& before, RenderedPage& after,
                                               const std::filesystem::path& before_pdf,
                                               const std::filesystem::path& after_pdf, int page_number, double dpi,
                                               int tolerance) {
    if (!before.plates && !after.plates) return std::nullopt;
    if (!before.plates) before.plates = render_plates(before_pdf, page_number, dpi);
    if (!after.plates) after.plates = render_plates(after_pdf, page_number, dpi);
    InkComparison out;
    out.plates_ = compare_plates(*before.plates, *after.plates, tolerance);
    out.printed_ = {out.plates_.ink_difference, out.plates_.shown_after};
    before.plates.reset();
    after.plates.reset();
    return out;
}

void InkComparison::note_ink_only(cv::Mat& result, const CompareResult& compared, double dpi) const {
    const cv::Point margin(CANVAS_MARGIN, CANVAS_MARGIN);
    const cv::Mat region = compared.mask(cv::Rect(margin, plates_.look_differs.size()));
    // Found through the plates alone, and looking alike on them too.
    int alike = 0;
    std::vector<std::string> inks;
    for (const cv::Rect& box : compared.ink_only) {
        const cv::Rect area = box - margin;
        if (cv::countNonZero(plates_.look_differs(area) & region(area)) > 0) continue;
        ++alike;
        for (std::string& ink : plates_.inks_differing_within(area))
            if (std::find(inks.begin(), inks.end(), ink) == inks.end()) inks.push_back(std::move(ink));
    }
    // In the order the plates were compared, whatever the order of the regions.
    std::vector<std::string> ordered;
    for (const std::string& ink : plates_.inks)
        if (std::find(inks.begin(), inks.end(), ink) != inks.end()) ordered.push_back(ink);
    note_ink_only_changes(result, alike, ordered, dpi);
}

}  // namespace tesmira::engine
