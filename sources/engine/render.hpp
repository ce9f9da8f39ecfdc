#pragma once
#include <opencv2/core.hpp>

#include <filesystem>

#include "common/json.hpp"

namespace tesmira::engine {

struct PageInfo {
    int pages = 0;  // page count of the whole file
    int page = 0;   // the page rendered, from 1
    double width_mm = 0, height_mm = 0;  // trim size, 3 decimals
    Json to_json() const;
};

struct RenderedPage {
    cv::Mat pixels;  // CV_8UC3, RGB order
    PageInfo info;
};

// Refuses a resolution other than 144, 200 or 300 dpi (compared by value: 300.0 passes).
void check_resolution(double dpi);

// One page cut to its trim box, without anti-aliasing, on white, at 144, 200 or 300 dpi.
RenderedPage render_pdf(const std::filesystem::path& path, int page_number = 1, double dpi = 300);

}  // namespace tesmira::engine
