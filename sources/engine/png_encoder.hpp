#pragma once
#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace tesmira::engine {

inline constexpr unsigned char PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// An 8-bit grey (CV_8UC1) or RGB (CV_8UC3, RGB order) image as the bytes of an ordinary
// non-interlaced PNG file with a single IDAT chunk, compressed at the default level.
std::string encode_png(const cv::Mat& image);

// The same for images of one width and type stacked from top to bottom, as one image,
// without joining them first.
std::string encode_png(const std::vector<cv::Mat>& stacked);

}  // namespace tesmira::engine
