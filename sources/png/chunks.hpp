#pragma once
#include <cstdint>
#include <filesystem>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

namespace tesmira::png {

inline constexpr std::string_view SIGNATURE{"\x89PNG\r\n\x1a\n", 8};  // the first bytes of every PNG file

struct PngHeader {
    std::uint32_t width = 0, height = 0;
    std::uint8_t bit_depth = 0, colour_type = 0, compression = 0, filter = 0, interlace = 0;

    // 8-bit RGB, not interlaced: the one layout whose IDAT data a PDF image takes unchanged.
    bool is_plain_rgb() const {
        return bit_depth == 8 && colour_type == 2 && compression == 0 && filter == 0 && interlace == 0;
    }
};

struct PngChunks {
    PngHeader header;  // of the last IHDR chunk
    std::string idat;  // every IDAT chunk's data, joined in file order
};

// The big-endian unsigned 32-bit number in the first four bytes.
std::uint32_t big_endian_u32(std::string_view bytes);

// Walks the chunks of complete PNG bytes up to IEND. Refuses bytes without the signature ("PNG
// format error"), a chunk running past the end ("Truncated PNG") and a walk that met no IHDR or
// no IDAT ("Incomplete PNG"). CRCs are never checked.
PngChunks read_png_chunks(std::string_view bytes);

// The header that read_png_chunks would return for the whole file, with the same refusals, but
// reading only chunk heads and IHDR data; nothing when the file lacks the PNG signature.
std::optional<PngHeader> read_png_header(std::istream& file);
// The same for a file's bytes in memory.
std::optional<PngHeader> read_png_header(std::string_view bytes);

// The IHDR that must follow the signature, read from the first 33 bytes of the file alone, for
// a quick look at files this program wrote; nothing when they are no such start of a PNG.
// Throws std::runtime_error when the file cannot be opened.
std::optional<PngHeader> probe_header(const std::filesystem::path& path);

}  // namespace tesmira::png
