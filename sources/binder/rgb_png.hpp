#pragma once
#include <string>
#include <string_view>

namespace tesmira::binder {

// Decodes a PNG or JPEG file's bytes and encodes the image afresh as an 8-bit RGB,
// non-interlaced PNG at compression level 9. An alpha channel is dropped, not blended; 16-bit
// samples are scaled to 8 bits. Anything else is refused: "cannot identify image file".
std::string encode_rgb_png(std::string_view image_bytes);

}  // namespace tesmira::binder
