#pragma once
#include <opencv2/core.hpp>

#include <filesystem>
#include <optional>
#include <utility>

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
    // CV_8UC3, RGB order: how the page looks, on screen, or for a page drawn on its plates, how
    // they look (shown_colours).
    cv::Mat pixels;
    PageInfo info;
    // How the page prints, when it was drawn on its plates.
    std::optional<InkPlates> plates;
};

// Refuses a resolution other than 144, 200 or 300 dpi (compared by value: 300.0 passes).
void check_resolution(double dpi);

// One page cut to its trim box, without anti-aliasing, on white, at 144, 200 or 300 dpi, as it
// prints: its optional content in its print state, its annotations and form fields only as far
// as they print. A page that prints as it looks (grey, RGB and Lab colours alone, see
// ink_survey.hpp) is drawn on screen, in RGB; any other on the plates of its inks, with overprint
// simulated.
RenderedPage render_pdf(const std::filesystem::path& path, int page_number = 1, double dpi = 300);

// The page `page_number` of two PDFs drawn alike, at the same time: both on their plates when
// either prints differently from how it looks, else both on screen. Refuses what render_pdf
// refuses, the old page's refusal first.
std::pair<RenderedPage, RenderedPage> render_pages(const std::filesystem::path& before_pdf,
                                                   const std::filesystem::path& after_pdf, int page_number, double dpi);

}  // namespace tesmira::engine
