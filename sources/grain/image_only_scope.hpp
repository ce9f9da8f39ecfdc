#pragma once
#include <opencv2/core.hpp>

#include <filesystem>
#include <optional>
#include <string>

#include "common/json.hpp"

namespace tesmira::grain {

struct NoiseScopeStats {
    int matched_images = 0;               // image pairs that added to the scope
    long long eligible_pixels = 0;        // pixels set in the scope
    std::optional<std::string> fallback;  // why the scope is empty, when the pages could not be analysed
    // {"matched_images", "eligible_pixels", "fallback"} in this order; fallback null or text.
    Json to_json() const;
};

struct NoiseScope {
    cv::Mat mask;  // CV_8U, height x width, 255 inside the scope and 0 elsewhere
    NoiseScopeStats stats;
};

// Safety margin in pixels around every other object and inside every image: 0.15 mm,
// rounded up, at least 2.
int noise_pad(int dpi);

// The pixels of raster images that sit at the same place on page `page_number` of both
// PDFs, are the only simple image there on either page, and are touched by no other
// object of either page. Any ordinary failure (a refusal of page_objects, a PDF library
// error) is caught: the scope is then empty and the failure's text is the fallback.
NoiseScope image_only_scope(const std::filesystem::path& before, const std::filesystem::path& after, int page_number,
                            int height, int width, int dpi);

}  // namespace tesmira::grain
