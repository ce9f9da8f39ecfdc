#pragma once
#include <opencv2/core.hpp>

#include <filesystem>

namespace tesmira::engine {

// The old and the new page of a pair as the comparison saw them, each on a canvas of the result's
// size (the page inside its white margin), RGB, as the comparison draws them: as they print, and
// where either prints differently from how it looks, both pages' plates as they look, as the
// result shows them.
struct PageViews {
    cv::Mat before, after;
};

// Draws page `page_number` of both PDFs at `dpi`, the two at the same time. Refuses what the
// comparison refuses, and pages of two sizes.
PageViews draw_page_views(const std::filesystem::path& before_pdf, const std::filesystem::path& after_pdf,
                          int page_number, double dpi);

}  // namespace tesmira::engine
