#include "binder/png_stream.hpp"

#include "binder/file_bytes.hpp"
#include "binder/rgb_png.hpp"
#include "png/chunks.hpp"

#include <utility>

namespace tesmira::binder {

PngStream png_stream(const std::filesystem::path& path) { return png_stream_of(read_file(path)); }

PngStream png_stream_of(std::string_view bytes) {
    if (!bytes.starts_with(png::SIGNATURE)) {
        // A fresh encoding is walked and checked like a file; it always has the plain layout.
        png::PngChunks fresh = png::read_png_chunks(encode_rgb_png(bytes));
        return {fresh.header.width, fresh.header.height, std::move(fresh.idat)};
    }
    png::PngChunks chunks = png::read_png_chunks(bytes);
    if (!chunks.header.is_plain_rgb()) {
        return png_stream_buffer(encode_rgb_png(bytes), chunks.header.width, chunks.header.height);
    }
    return {chunks.header.width, chunks.header.height, std::move(chunks.idat)};
}

PngStream png_stream_buffer(std::string_view png_bytes, std::uint32_t width, std::uint32_t height) {
    std::string data;
    for (std::uint64_t offset = png::SIGNATURE.size(); offset + 12 <= png_bytes.size();) {
        const std::uint64_t length = png::big_endian_u32(png_bytes.substr(offset, 4));
        if (png_bytes.substr(offset + 4, 4) == "IDAT") data += png_bytes.substr(offset + 8, length);
        offset += length + 12;
    }
    return {width, height, std::move(data)};
}

}  // namespace tesmira::binder
