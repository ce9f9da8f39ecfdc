#pragma once
#include <opencv2/core.hpp>

#include <optional>
#include <vector>

#include "common/json.hpp"

namespace tesmira::engine {

inline constexpr int CANVAS_MARGIN = 50;  // white margin around the page on every side

struct Box {
    int x = 0, y = 0, width = 0, height = 0;
    Json to_json() const;
};

struct CompareStats {
    int regions = 0;
    long long changed_pixels = 0;
    double changed_percent = 0.0;
    std::vector<Box> boxes;  // the first 200
    bool boxes_truncated = false;
    Json to_json() const;
};

struct CompareOptions {
    int tolerance = 1;
    int opacity = 10;
    int border = 2;
    double path_tolerance = 0.5;
    bool padded_pages = true;  // also return both pages inside their margin
    // Boolean masks (CV_8U, non-zero = true) of the unpadded page size.
    std::optional<cv::Mat> ignored_pixels;
    std::optional<cv::Mat> direct_scope;
};

struct CompareResult {
    cv::Mat result;         // faded new page with full-colour regions and red outlines, RGB
    cv::Mat mask;           // region mask, CV_8U 0/255
    cv::Mat before_padded;  // pages with their white margin, when asked for
    cv::Mat after_padded;
    CompareStats stats;
};

CompareResult compare_arrays(const cv::Mat& before, const cv::Mat& after, const CompareOptions& options = {});

}  // namespace tesmira::engine
