#include "codecs/image_file.hpp"

#include <stdexcept>

#include "codecs/decoders.hpp"

namespace tesmira::codecs {

std::optional<ImageSize> declared_size(std::string_view bytes) {
    if (bytes.starts_with(PNG_SIGNATURE)) return png_size(bytes);
    if (bytes.starts_with(JPEG_SIGNATURE)) return jpeg_size(bytes);
    return std::nullopt;
}

DecodedImage decode_image(std::string_view bytes) {
    std::optional<DecodedImage> decoded;
    if (bytes.starts_with(PNG_SIGNATURE))
        decoded = decode_png(bytes);
    else if (bytes.starts_with(JPEG_SIGNATURE))
        decoded = decode_jpeg(bytes);
    if (!decoded) throw std::runtime_error("cannot identify image file");
    return std::move(*decoded);
}

}  // namespace tesmira::codecs
