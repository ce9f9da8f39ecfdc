#pragma once
#include <opencv2/core.hpp>

#include "common/tokyo_clock.hpp"
#include "engine/page_settings.hpp"

namespace tesmira::engine {

struct AnnotatedImage {
    cv::Mat canvas;  // RGB, the band above the unchanged image
    int header_height = 0;
};

// Puts the information band (stamp, old and new names, inspection time) above a result image.
AnnotatedImage annotate_result(const cv::Mat& array, const BandSettings& settings, const TokyoTime& created_at);

// The band alone (RGB), for a result image `width` pixels wide: what annotate_result puts above
// it, for a caller that can use the two without joining them.
cv::Mat information_band(int width, const BandSettings& settings, const TokyoTime& created_at);

}  // namespace tesmira::engine
