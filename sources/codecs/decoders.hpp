#pragma once
// The two decoders behind image_file.hpp, each for bytes that carry its format's signature.

#include <optional>
#include <string_view>

#include "codecs/image_file.hpp"

namespace tesmira::codecs {

inline constexpr std::string_view PNG_SIGNATURE{"\x89PNG\r\n\x1a\n", 8};
inline constexpr std::string_view JPEG_SIGNATURE{"\xff\xd8\xff", 3};

// Nothing when libpng or libjpeg refuses the file.
std::optional<ImageSize> png_size(std::string_view bytes);
std::optional<DecodedImage> decode_png(std::string_view bytes);
std::optional<ImageSize> jpeg_size(std::string_view bytes);
std::optional<DecodedImage> decode_jpeg(std::string_view bytes);

}  // namespace tesmira::codecs
