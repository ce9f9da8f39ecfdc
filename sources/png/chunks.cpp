#include "png/chunks.hpp"

#include "common/errors.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace tesmira::png {
namespace {

constexpr std::uint64_t header_length = 13;

PngHeader decode_header(std::string_view data) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(data[i]); };
    return {big_endian_u32(data), big_endian_u32(data.substr(4)), byte(8), byte(9), byte(10), byte(11), byte(12)};
}

// One walk for bytes in memory and for a file read a few bytes at a time: read_at(offset, count) yields
// exactly count bytes, which the size check before every read guarantees to exist.
template <typename ReadAt, typename OnIdat>
PngHeader walk(std::uint64_t size, ReadAt read_at, OnIdat on_idat) {
    if (size < SIGNATURE.size() || read_at(0, SIGNATURE.size()) != SIGNATURE) {
        throw UserError("PNG format error");
    }
    std::optional<PngHeader> header;
    bool any_idat = false;
    for (std::uint64_t offset = SIGNATURE.size(); offset + 12 <= size;) {
        const std::uint64_t length = big_endian_u32(read_at(offset, 4));
        if (offset + length + 12 > size) throw UserError("Truncated PNG");
        const auto type = read_at(offset + 4, 4);
        if (type == "IHDR") {
            // Checked before reading, so a forged length cannot make the header read large.
            if (length != header_length) throw UserError("PNG format error");
            header = decode_header(read_at(offset + 8, header_length));
        } else if (type == "IDAT") {
            any_idat = true;
            on_idat(offset + 8, length);
        }
        offset += length + 12;
        if (type == "IEND") break;
    }
    if (!header || !any_idat) throw UserError("Incomplete PNG");
    return *header;
}

}  // namespace

std::uint32_t big_endian_u32(std::string_view bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<std::uint8_t>(bytes[i]);
    return value;
}

PngChunks read_png_chunks(std::string_view bytes) {
    PngChunks chunks;
    const auto read_at = [bytes](std::uint64_t offset, std::uint64_t count) { return bytes.substr(offset, count); };
    const auto on_idat = [&](std::uint64_t offset, std::uint64_t length) {
        chunks.idat += bytes.substr(offset, length);
    };
    chunks.header = walk(bytes.size(), read_at, on_idat);
    return chunks;
}

std::optional<PngHeader> read_png_header(std::istream& file) {
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (size < 0) throw std::runtime_error("cannot determine the image file's size");
    const auto read_at = [&file](std::uint64_t offset, std::uint64_t count) {
        std::string bytes(count, '\0');
        file.seekg(static_cast<std::streamoff>(offset));
        if (!file.read(bytes.data(), static_cast<std::streamsize>(count))) {
            throw std::runtime_error("cannot read the image file");
        }
        return bytes;
    };
    if (static_cast<std::uint64_t>(size) < SIGNATURE.size() || read_at(0, SIGNATURE.size()) != SIGNATURE) {
        return std::nullopt;
    }
    return walk(static_cast<std::uint64_t>(size), read_at, [](std::uint64_t, std::uint64_t) {});
}

std::optional<PngHeader> read_png_header(std::string_view bytes) {
    if (!bytes.starts_with(SIGNATURE)) return std::nullopt;
    const auto read_at = [bytes](std::uint64_t offset, std::uint64_t count) { return bytes.substr(offset, count); };
    return walk(bytes.size(), read_at, [](std::uint64_t, std::uint64_t) {});
}

std::optional<PngHeader> probe_header(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path.string() + ": " + std::strerror(errno));
    std::string bytes(SIGNATURE.size() + 8 + header_length, '\0');
    in.read(bytes.data(), std::streamsize(bytes.size()));
    const std::string_view read(bytes.data(), std::size_t(in.gcount()));
    if (read.size() != bytes.size() || read.substr(0, SIGNATURE.size()) != SIGNATURE || read.substr(12, 4) != "IHDR")
        return std::nullopt;
    return decode_header(read.substr(16));
}

}  // namespace tesmira::png
