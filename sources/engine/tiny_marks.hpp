#pragma once
#include <opencv2/core.hpp>

#include <vector>

#include "common/json.hpp"

namespace tesmira::engine {

// A change group counts as tiny when neither side is longer than this.
inline constexpr double MAX_COMPONENT_MM = 1.5;
// The least side of a marker's box. A whole number: the result record writes it as one.
inline constexpr int MIN_BOX_MM = 3;

struct TinyRectangle {
    int x = 0, y = 0, width = 0, height = 0, components = 0;
};

struct TinyMarks {
    int tiny_components = 0;
    std::vector<TinyRectangle> rectangles;
    int dense_groups_omitted = 0;
    int limit_groups_omitted = 0;
    Json to_json() const;
    // The record stored when the markers are off.
    static Json disabled_json();
};

struct MarkedImage {
    cv::Mat image;  // always a new array
    TinyMarks marks;
};

// Boxes of at least MIN_BOX_MM around groups of changes no larger than MAX_COMPONENT_MM.
MarkedImage mark_tiny_changes(const cv::Mat& result, const cv::Mat& mask, double dpi);

}  // namespace tesmira::engine
