#pragma once
#include <opencv2/core.hpp>

#include <filesystem>
#include <optional>
#include <string>

namespace tesmira::engine {

// Writes an 8-bit grey (CV_8UC1) or RGB (CV_8UC3, RGB order) image as a non-interlaced PNG
// at the default compression level (see encode_png).
void write_png(const std::filesystem::path& path, const cv::Mat& image);

// Writes a PNG file that encode_png made.
void write_png_file(const std::filesystem::path& path, const std::string& png);

struct PngHeader {
    long long width = 0, height = 0;
    int bit_depth = 0, colour_type = 0;
};

// The IHDR of a PNG file, read without decoding any pixel; empty when the file is no PNG.
std::optional<PngHeader> read_png_header(const std::filesystem::path& path);

// Any image file decoded as it is stored (grey, BGR or BGRA), brought to 8 bits per channel.
cv::Mat read_image(const std::filesystem::path& path);

// The image as 8-bit RGB on white: an RGBA source is composited with its alpha, any other
// kind is converted to RGB with its transparency dropped.
cv::Mat read_flattened_rgb(const std::filesystem::path& path);

}  // namespace tesmira::engine
