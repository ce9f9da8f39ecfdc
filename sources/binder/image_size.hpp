#pragma once
#include <cstdint>
#include <filesystem>

namespace tesmira::binder {

struct ImageSize {
    std::uint32_t width = 0, height = 0;
};

// The pixel size of an image file. A PNG's comes from its header alone, with the refusals of
// the PNG chunk walk; any other format is decoded, since OpenCV offers no header-only read.
ImageSize image_size(const std::filesystem::path& path);

}  // namespace tesmira::binder
