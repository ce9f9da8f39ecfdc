#include "binder/image_size.hpp"

#include <optional>
#include <stdexcept>

#include "binder/file_bytes.hpp"
#include "codecs/image_file.hpp"
#include "png/chunks.hpp"

namespace tesmira::binder {

namespace {

std::optional<ImageSize> declared_size(std::string_view bytes) {
    const auto size = codecs::declared_size(bytes);
    if (!size) return std::nullopt;
    return ImageSize{size->width, size->height};
}

}  // namespace

ImageSize image_size(const std::filesystem::path& path) {
    std::ifstream file = open_for_reading(path);
    if (const auto header = png::read_png_header(file)) return {header->width, header->height};
    const auto size = declared_size(read_file(path));
    if (!size) throw std::runtime_error("cannot identify image file " + path.string());
    return *size;
}

ImageSize image_size_of(std::string_view bytes) {
    if (const auto header = png::read_png_header(bytes)) return {header->width, header->height};
    const auto size = declared_size(bytes);
    if (!size) throw std::runtime_error("cannot identify image file");
    return *size;
}

}  // namespace tesmira::binder
