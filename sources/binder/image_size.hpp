#pragma once
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace tesmira::binder {

struct ImageSize {
    std::uint32_t width = 0, height = 0;
};

// The pixel size of an image file, from its header alone: a PNG's with the refusals of the
// PNG chunk walk, a JPEG's from its frame header. Any other file is refused: "cannot identify
// image file" and the path.
ImageSize image_size(const std::filesystem::path& path);
// The same for an image file's bytes in memory; the refusal names no path.
ImageSize image_size_of(std::string_view bytes);

}  // namespace tesmira::binder
