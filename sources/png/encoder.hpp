#pragma once
#include <opencv2/core.hpp>

#include <filesystem>
#include <string>
#include <vector>

namespace tesmira::png {

// The deflate level of the result images (zlib's numbering; libdeflate's levels mean the
// same): on result pages the fastest at most 15 % larger than zlib's default 6, about 0.7 of its
// time for 6 % (press pages) to 11 % (screen pages) more bytes; level 3 is 25 % larger on screen
// pages (bench/result_compression). The pixels are the same at every level.
inline constexpr int RESULT_LEVEL = 4;

// An 8-bit grey (CV_8UC1) or RGB (CV_8UC3, RGB order) image as the bytes of an ordinary
// non-interlaced PNG file with a single IDAT chunk, deflated at `level` (1 to 12).
std::string encode_png(const cv::Mat& image, int level = RESULT_LEVEL);

// The same for images of one width and type stacked from top to bottom, as one image,
// without joining them first.
std::string encode_png(const std::vector<cv::Mat>& stacked, int level = RESULT_LEVEL);

// Writes an 8-bit grey or RGB image as a PNG file made by encode_png.
void write_png(const std::filesystem::path& path, const cv::Mat& image);
// Writes the bytes of a PNG file that encode_png made.
void write_png_file(const std::filesystem::path& path, const std::string& png);

}  // namespace tesmira::png
