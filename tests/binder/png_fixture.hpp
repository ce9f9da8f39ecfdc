#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// PNG files built chunk by chunk: layouts no encoder writes (split IDAT between ancillary
// chunks, data after IEND, cut-off chunks) and kinds OpenCV cannot write (palette, interlaced).
namespace tesmira::binder::fixture {

inline constexpr std::string_view signature{"\x89PNG\r\n\x1a\n", 8};

// One chunk with its length and a correct CRC.
std::string chunk(std::string_view type, std::string_view data);
std::string ihdr(std::uint32_t width, std::uint32_t height, int bit_depth = 8, int colour_type = 2, int interlace = 0);
std::string idat(std::string_view data);
std::string iend();

// Distinct 8-bit samples, so that a mix-up of rows, columns or channels shows.
std::string samples(std::size_t count, unsigned seed = 0);

// Rows behind alternating None and Up filters, so a decoder has real filtering to undo.
std::string filtered_rows(std::string_view samples, std::size_t row_bytes);
// The seven Adam7 passes of the image, each row behind the None filter.
std::string adam7_rows(std::string_view samples, std::uint32_t width, std::uint32_t height, std::size_t pixel_bytes);
std::string zlib(std::string_view raw);

// A complete 8-bit RGB PNG of these RGB samples, in one IDAT chunk.
std::string rgb_png(std::uint32_t width, std::uint32_t height, std::string_view rgb);

// The RGB samples that OpenCV decodes from an image file's bytes.
std::string decoded_rgb(std::string_view image_bytes);
// The RGB samples of IDAT data taken as that of an 8-bit RGB, non-interlaced PNG.
std::string decoded_idat(std::string_view idat_data, std::uint32_t width, std::uint32_t height);

// Equal byte strings, or where the first difference lies (too large to print whole).
::testing::AssertionResult same_bytes(std::string_view actual, std::string_view expected);

void write_file(const std::filesystem::path& path, std::string_view bytes);
std::string read_file(const std::filesystem::path& path);

}  // namespace tesmira::binder::fixture
