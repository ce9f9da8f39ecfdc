#pragma once
#include <opencv2/core.hpp>

#include <filesystem>
#include <optional>
#include <string>

namespace tesmira::engine {

// Any image file decoded as it is stored (grey, BGR or BGRA), brought to 8 bits per channel.
cv::Mat read_image(const std::filesystem::path& path);

// The image as 8-bit RGBA, its alpha kept (opaque where it has none): a stamp.
cv::Mat read_rgba(const std::filesystem::path& path);

// The image as 8-bit RGB on white: an RGBA source is composited with its alpha, any other
// kind is converted to RGB with its transparency dropped.
cv::Mat read_flattened_rgb(const std::filesystem::path& path);

}  // namespace tesmira::engine
