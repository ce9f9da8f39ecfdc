#pragma once
#include <opencv2/core.hpp>

#include <filesystem>

namespace tesmira::engine {

// The image (PNG or JPEG) as 8-bit RGBA, its alpha kept (opaque where it has none): a stamp.
cv::Mat read_rgba(const std::filesystem::path& path);

// The image (PNG or JPEG) as 8-bit RGB on white: an RGBA source is composited with its alpha,
// any other kind is converted to RGB with its transparency dropped.
cv::Mat read_flattened_rgb(const std::filesystem::path& path);

}  // namespace tesmira::engine
