#pragma once
#include <opencv2/core.hpp>

#include <filesystem>
#include <optional>

#include "common/json.hpp"
#include "engine/ink_plates.hpp"

namespace tesmira::engine {

struct PageInfo {
    int pages = 0;                       // page count of the whole file
    int page = 0;                        // the page rendered, from 1
    double width_mm = 0, height_mm = 0;  // trim size, 3 decimals
    Json to_json() const;
};

struct RenderedPage {
    cv::Mat pixels;  // CV_8UC3, RGB order: how the page looks on screen
    PageInfo info;
    // How it prints, for pages that paint in CMYK, spot inks or CMYK blending spaces (see
    // ink_survey.hpp); absent for pages that print as they look.
    std::optional<InkPlates> plates;
};

// Refuses a resolution other than 144, 200 or 300 dpi (compared by value: 300.0 passes).
void check_resolution(double dpi);

// One page cut to its trim box, without anti-aliasing, on white, at 144, 200 or 300 dpi. Pages
// that print differently from how they look are also drawn as they print, on the plates of
// their inks with overprint simulated, at the same time in a MuPDF context of their own.
RenderedPage render_pdf(const std::filesystem::path& path, int page_number = 1, double dpi = 300);

// The page's plates alone, also for a page that prints as it looks: for comparing it with a
// page that does not. Refuses what render_pdf refuses.
InkPlates render_plates(const std::filesystem::path& path, int page_number, double dpi);

}  // namespace tesmira::engine
