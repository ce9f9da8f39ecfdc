#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <cmath>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "codecs/image_file.hpp"
#include "fixtures/image_files.hpp"

namespace fx = tesmira::fixtures::image_files;
using tesmira::codecs::declared_size;
using tesmira::codecs::decode_image;
using tesmira::codecs::DecodedImage;

namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int value : values) out += char(value);
    return out;
}

std::string pixels_of(const cv::Mat& image) {
    std::string out;
    for (int r = 0; r < image.rows; ++r) out.append(image.ptr<char>(r), image.cols * image.elemSize());
    return out;
}

// Every kind of PNG, decoded to the pixels its samples stand for: 8 bits a channel, grey, RGB
// or RGBA, palettes expanded and transparent colours given an alpha.
TEST(DecodeImage, EveryKindOfPng) {
    const std::string palette = bytes({10, 20, 30, 40, 50, 60, 70, 80, 90, 200, 210, 220});
    struct Case {
        const char* name;
        std::uint32_t width, height;
        int bit_depth, colour_type;
        std::string samples, palette, transparency;
        int channels;
        std::string pixels;
        bool rgba;
    };
    const Case cases[] = {
        {"grey", 3, 1, 8, 0, bytes({0, 128, 255}), "", "", 1, bytes({0, 128, 255}), false},
        {"grey of 1 bit",
         10,
         1,
         1,
         0,
         bytes({0b10100000, 0b01000000}),
         "",
         "",
         1,
         bytes({255, 0, 255, 0, 0, 0, 0, 0, 0, 255}),
         false},
        {"grey of 4 bits", 3, 1, 4, 0, bytes({0x0f, 0x70}), "", "", 1, bytes({0, 255, 119}), false},
        {"grey of 16 bits", 3, 1, 16, 0, bytes({0, 0, 0x80, 0x80, 0xff, 0xff}), "", "", 1, bytes({0, 128, 255}), false},
        {"grey with a transparent value",
         2,
         1,
         8,
         0,
         bytes({7, 9}),
         "",
         bytes({0, 9}),
         4,
         bytes({7, 7, 7, 255, 9, 9, 9, 0}),
         false},
        {"grey with alpha", 2, 1, 8, 4, bytes({7, 100, 9, 0}), "", "", 4, bytes({7, 7, 7, 100, 9, 9, 9, 0}), false},
        {"RGB", 2, 1, 8, 2, bytes({1, 2, 3, 4, 5, 6}), "", "", 3, bytes({1, 2, 3, 4, 5, 6}), false},
        {"RGB of 16 bits",
         1,
         1,
         16,
         2,
         bytes({0x01, 0x00, 0x80, 0x7f, 0xfe, 0xff}),
         "",
         "",
         3,
         bytes({1, 128, 254}),
         false},
        {"RGB with a transparent colour",
         2,
         1,
         8,
         2,
         bytes({1, 2, 3, 4, 5, 6}),
         "",
         bytes({0, 4, 0, 5, 0, 6}),
         4,
         bytes({1, 2, 3, 255, 4, 5, 6, 0}),
         false},
        {"RGBA", 2, 1, 8, 6, bytes({1, 2, 3, 4, 5, 6, 7, 8}), "", "", 4, bytes({1, 2, 3, 4, 5, 6, 7, 8}), true},
        {"RGBA of 16 bits",
         1,
         1,
         16,
         6,
         bytes({0, 0, 0xff, 0xff, 0x80, 0x80, 0x7f, 0x7f}),
         "",
         "",
         4,
         bytes({0, 255, 128, 127}),
         true},
        {"palette", 4, 1, 8, 3, bytes({0, 1, 2, 3}), palette, "", 3, palette, false},
        {"palette of 2 bits with transparent entries",
         4,
         1,
         2,
         3,
         bytes({0b00011011}),
         palette,
         bytes({0, 128}),
         4,
         bytes({10, 20, 30, 0, 40, 50, 60, 128, 70, 80, 90, 255, 200, 210, 220, 255}),
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedImage image = decode_image(
            fx::png_file(c.width, c.height, c.bit_depth, c.colour_type, c.samples, c.palette, c.transparency));
        EXPECT_EQ(image.pixels.depth(), CV_8U);
        EXPECT_EQ(image.pixels.channels(), c.channels);
        EXPECT_EQ(image.pixels.cols, int(c.width));
        EXPECT_EQ(image.pixels.rows, int(c.height));
        EXPECT_EQ(pixels_of(image.pixels), c.pixels);
        EXPECT_EQ(image.rgba, c.rgba);
    }
}

TEST(DecodeImage, InterlacedPngGivesItsRowsInOrder) {
    const std::uint32_t width = 11, height = 9;
    const std::string rgb = fx::samples(width * height * 3);
    const std::string file = std::string(fx::signature) + fx::ihdr(width, height, 8, 2, 1) +
                             fx::idat(fx::zlib(fx::adam7_rows(rgb, width, height, 3))) + fx::iend();
    EXPECT_EQ(pixels_of(decode_image(file).pixels), rgb);
}

// Every 16-bit value becomes the nearest 8-bit one, as the images read before did.
TEST(DecodeImage, SixteenBitSamplesAreRoundedToTheNearest) {
    std::string samples;
    for (int value = 0; value < 65536; ++value) samples += bytes({value >> 8, value & 0xff});
    const cv::Mat grey = decode_image(fx::png_file(256, 256, 16, 0, samples)).pixels;
    for (int value = 0; value < 65536; ++value)
        ASSERT_EQ(grey.at<uchar>(value / 256, value % 256), int(std::nearbyint(value / 257.0))) << value;
}

// JPEG at quality 100 of flat colours: within a step or two of the colour stored. CMYK turns
// into RGB as each ink darkens its channel and black darkens all three.
TEST(DecodeImage, JpegOfEachColourSpace) {
    const auto flat = [](int components, std::string pixel) {
        std::string samples;
        for (int i = 0; i < 16 * 16; ++i) samples += pixel;
        return fx::jpeg_file(16, 16, components, samples);
    };
    const auto rgb_of_cmyk = [](int c, int m, int y, int k) {
        // The inks are stored inverted; each channel is (255 - k) less the ink's share of it.
        const int white = 255 - k;
        return bytes({white - ((c * white) >> 8), white - ((m * white) >> 8), white - ((y * white) >> 8)});
    };
    struct Case {
        const char* name;
        std::string file;
        int channels;
        std::string pixel;
    };
    const Case cases[] = {
        {"grey", flat(1, bytes({90})), 1, bytes({90})},
        {"RGB", flat(3, bytes({200, 30, 120})), 3, bytes({200, 30, 120})},
        {"CMYK", flat(4, bytes({0, 255, 128, 0})), 3, rgb_of_cmyk(0, 255, 128, 0)},
        {"CMYK with black", flat(4, bytes({100, 0, 0, 128})), 3, rgb_of_cmyk(100, 0, 0, 128)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedImage image = decode_image(c.file);
        ASSERT_EQ(image.pixels.channels(), c.channels);
        EXPECT_EQ(image.pixels.size(), cv::Size(16, 16));
        EXPECT_FALSE(image.rgba);
        const std::string pixels = pixels_of(image.pixels);
        for (std::size_t i = 0; i < pixels.size(); ++i)
            ASSERT_LE(std::abs(int(uchar(pixels[i])) - int(uchar(c.pixel[i % c.pixel.size()]))), 2) << i;
    }
}

TEST(DecodeImage, RefusesWhatItCannotRead) {
    const std::string png = fx::png_file(4, 4, 8, 2, fx::samples(48));
    std::string bad_data = png;
    bad_data[bad_data.size() - 20] ^= 0x55;  // inside the deflate data, before IEND
    const std::string jpeg = fx::jpeg_file(8, 8, 3, fx::samples(192));
    const struct {
        const char* name;
        std::string file;
    } cases[] = {
        {"nothing", ""},
        {"text", "plain text, not an image"},
        {"a PNG signature alone", std::string(fx::signature)},
        {"a PNG whose data is damaged", bad_data},
        {"a PNG without image data", std::string(fx::signature) + fx::ihdr(4, 4) + fx::iend()},
        {"a JPEG cut before its frame", jpeg.substr(0, 20)},
        {"a GIF", "GIF89a\x01\x00\x01\x00\x00\x00\x00;"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            decode_image(c.file);
            ADD_FAILURE() << "decoded";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "cannot identify image file");
        }
    }
}

TEST(DeclaredSize, ComesFromTheHeaderAlone) {
    // A header declaring far more pixels than its data holds.
    const std::string huge = std::string(fx::signature) + fx::ihdr(60000, 50000) + fx::idat("junk") + fx::iend();
    std::string jpeg = fx::jpeg_file(24, 8, 3, fx::samples(24 * 8 * 3));
    const std::size_t scan = jpeg.find("\xff\xda");
    ASSERT_NE(scan, std::string::npos);
    jpeg = jpeg.substr(0, scan + 14);  // its headers, up to the scan's, and no compressed data
    const struct {
        const char* name;
        std::string file;
        std::optional<std::pair<std::uint32_t, std::uint32_t>> size;
    } cases[] = {
        {"a PNG", fx::png_file(7, 3, 8, 0, fx::samples(21)), std::pair{7u, 3u}},
        {"a PNG's header alone", huge, std::pair{60000u, 50000u}},
        {"a JPEG without its data", jpeg, std::pair{24u, 8u}},
        {"text", "not an image", std::nullopt},
        {"a cut PNG header", std::string(fx::signature) + fx::ihdr(7, 3).substr(0, 10), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto size = declared_size(c.file);
        ASSERT_EQ(size.has_value(), c.size.has_value());
        if (size) {
            EXPECT_EQ(std::pair(size->width, size->height), *c.size);
        }
    }
}

}  // namespace
