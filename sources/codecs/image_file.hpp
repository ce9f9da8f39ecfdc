#pragma once
#include <opencv2/core.hpp>

#include <cstdint>
#include <optional>
#include <string_view>

namespace tesmira::codecs {

// An image file's pixels as stored, brought to 8 bits per channel (16-bit samples scaled and
// rounded): grey (CV_8UC1), RGB (CV_8UC3) or RGB with alpha (CV_8UC4), channels in that order.
// Palettes are expanded; a transparent colour (PNG tRNS) and grey with alpha become RGB with
// alpha. A CMYK JPEG becomes RGB. The orientation a JPEG's EXIF data asks for is not applied.
struct DecodedImage {
    cv::Mat pixels;
    // Stored as RGB with alpha (PNG colour type 6), not merely given an alpha for a
    // transparent colour or beside grey.
    bool rgba = false;
};

struct ImageSize {
    std::uint32_t width = 0, height = 0;
};

// The size that the header of a PNG or JPEG file declares, read without decoding any pixel;
// nothing for bytes that are neither, or whose header cannot be read.
std::optional<ImageSize> declared_size(std::string_view bytes);

// Decodes a PNG or a JPEG file. Anything else, or a file its decoder refuses, is a
// std::runtime_error "cannot identify image file".
DecodedImage decode_image(std::string_view bytes);

}  // namespace tesmira::codecs
