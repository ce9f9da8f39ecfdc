#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tesmira::binder {

// What a PDF image XObject needs of an 8-bit RGB, non-interlaced PNG: its size and its IDAT
// data joined, one zlib stream of PNG-filtered rows.
struct PngStream {
    std::uint32_t width = 0, height = 0;
    std::string data;
};

// An 8-bit RGB non-interlaced PNG gives its own IDAT data without decoding anything; any other
// image (other PNG layouts, JPEG, ...) is encoded afresh as such a PNG first.
PngStream png_stream(const std::filesystem::path& path);
// The same for an image file's bytes in memory.
PngStream png_stream_of(std::string_view bytes);

// The IDAT data of a PNG this module has just encoded itself: no signature or header check,
// IEND does not stop the walk, a short last chunk gives what is there, nothing is refused.
PngStream png_stream_buffer(std::string_view png_bytes, std::uint32_t width, std::uint32_t height);

}  // namespace tesmira::binder
