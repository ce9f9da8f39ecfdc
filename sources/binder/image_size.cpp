#include "binder/image_size.hpp"

#include <stdexcept>

#include "binder/file_bytes.hpp"
#include "codecs/image_file.hpp"
#include "png/chunks.hpp"

namespace tesmira::binder {

ImageSize image_size(const std::filesystem::path& path) {
    std::ifstream file = open_for_reading(path);
    if (const auto header = png::read_png_header(file)) return {header->width, header->height};
    const auto size = codecs::declared_size(read_file(path));
    if (!size) throw std::runtime_error("cannot identify image file " + path.string());
    return {size->width, size->height};
}

}  // namespace tesmira::binder
