#include "png_fixture.hpp"

#include <zlib.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tesmira::binder::fixture {
namespace {

std::string big_endian(std::uint32_t value) {
    return {static_cast<char>(value >> 24),
            static_cast<char>(value >> 16),
            static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

const Bytef* bytes(std::string_view text) { return reinterpret_cast<const Bytef*>(text.data()); }

}  // namespace

std::string chunk(std::string_view type, std::string_view data) {
    uLong crc = crc32(0, bytes(type), 4);
    crc = crc32(crc, bytes(data), static_cast<uInt>(data.size()));
    return big_endian(static_cast<std::uint32_t>(data.size())) + std::string(type) + std::string(data) +
           big_endian(static_cast<std::uint32_t>(crc));
}

std::string ihdr(std::uint32_t width, std::uint32_t height, int bit_depth, int colour_type, int interlace) {
    return chunk(
        "IHDR",
        big_endian(width) + big_endian(height) +
            std::string{
                static_cast<char>(bit_depth), static_cast<char>(colour_type), 0, 0, static_cast<char>(interlace)});
}

std::string idat(std::string_view data) { return chunk("IDAT", data); }
std::string iend() { return chunk("IEND", ""); }

std::string samples(std::size_t count, unsigned seed) {
    std::string out(count, '\0');
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<char>((i * 37 + i / 7 * 11 + seed * 101) % 256);
    return out;
}

std::string filtered_rows(std::string_view samples, std::size_t row_bytes) {
    std::string out;
    for (std::size_t row = 0; row * row_bytes < samples.size(); ++row) {
        const std::string_view line = samples.substr(row * row_bytes, row_bytes);
        const bool up = row % 2 == 1;
        out += static_cast<char>(up ? 2 : 0);
        for (std::size_t i = 0; i < line.size(); ++i) {
            out += static_cast<char>(up ? line[i] - samples[(row - 1) * row_bytes + i] : line[i]);
        }
    }
    return out;
}

std::string adam7_rows(std::string_view samples, std::uint32_t width, std::uint32_t height, std::size_t pixel_bytes) {
    struct Pass {
        std::uint32_t x0, y0, dx, dy;
    };
    constexpr Pass passes[] = {
        {0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    std::string out;
    for (const Pass& p : passes) {
        if (p.x0 >= width) continue;  // a pass without columns has no rows either
        for (std::uint32_t y = p.y0; y < height; y += p.dy) {
            out += '\0';
            for (std::uint32_t x = p.x0; x < width; x += p.dx) {
                out += samples.substr((std::size_t{y} * width + x) * pixel_bytes, pixel_bytes);
            }
        }
    }
    return out;
}

std::string zlib(std::string_view raw) {
    uLongf size = compressBound(raw.size());
    std::string out(size, '\0');
    if (compress(reinterpret_cast<Bytef*>(out.data()), &size, bytes(raw), raw.size()) != Z_OK) {
        throw std::runtime_error("zlib compress failed");
    }
    out.resize(size);
    return out;
}

std::string rgb_png(std::uint32_t width, std::uint32_t height, std::string_view rgb) {
    return std::string(signature) + ihdr(width, height) + idat(zlib(filtered_rows(rgb, std::size_t{width} * 3))) +
           iend();
}

std::string decoded_rgb(std::string_view image_bytes) {
    const cv::Mat raw(1, static_cast<int>(image_bytes.size()), CV_8UC1, const_cast<char*>(image_bytes.data()));
    const cv::Mat bgr = cv::imdecode(raw, cv::IMREAD_COLOR);
    if (bgr.empty() || bgr.type() != CV_8UC3) throw std::runtime_error("OpenCV cannot decode the image");
    std::string rgb;
    for (int y = 0; y < bgr.rows; ++y) {
        for (int x = 0; x < bgr.cols; ++x) {
            const auto& p = bgr.at<cv::Vec3b>(y, x);
            rgb += {static_cast<char>(p[2]), static_cast<char>(p[1]), static_cast<char>(p[0])};
        }
    }
    return rgb;
}

std::string decoded_idat(std::string_view idat_data, std::uint32_t width, std::uint32_t height) {
    return decoded_rgb(std::string(signature) + ihdr(width, height) + idat(idat_data) + iend());
}

::testing::AssertionResult same_bytes(std::string_view actual, std::string_view expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    std::size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
    auto failure = ::testing::AssertionFailure();
    failure << actual.size() << " bytes against " << expected.size() << " expected; first difference at byte " << i;
    if (i < actual.size() && i < expected.size()) {
        failure << ": " << int(static_cast<unsigned char>(actual[i])) << " instead of "
                << int(static_cast<unsigned char>(expected[i]));
    }
    return failure;
}

void write_file(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) throw std::runtime_error("cannot write " + path.string());
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(file), {}};
}

}  // namespace tesmira::binder::fixture
