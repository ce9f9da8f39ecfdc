#include <gtest/gtest.h>
#include <png.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/png_encoder.hpp"
#include "fixtures/temp_folder.hpp"

namespace fs = std::filesystem;
namespace fx = tesmira::fixtures;
using namespace tesmira::engine;

namespace {

// The pixels of a PNG file as libpng itself decodes them, RGB or grey.
cv::Mat decoded_with_libpng(const fs::path& path, int channels) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        ADD_FAILURE() << image.message;
        return {};
    }
    image.format = channels == 3 ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
    cv::Mat pixels(int(image.height), int(image.width), CV_8UC(channels));
    if (!png_image_finish_read(&image, nullptr, pixels.data, int(pixels.step[0]), nullptr)) {
        ADD_FAILURE() << image.message;
        return {};
    }
    return pixels;
}

struct Chunk {
    std::string type, data;
};

std::vector<Chunk> chunks_of(const std::string& png) {
    std::vector<Chunk> chunks;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        std::size_t length = 0;
        for (int i = 0; i < 4; ++i) length = length << 8 | static_cast<unsigned char>(png[at + std::size_t(i)]);
        chunks.push_back({png.substr(at + 4, 4), png.substr(at + 8, length)});
        at += length + 12;
    }
    return chunks;
}

bool same(const cv::Mat& a, const cv::Mat& b) {
    return a.size == b.size && a.type() == b.type() && cv::countNonZero(cv::Mat(a != b).reshape(1)) == 0;
}

// Smooth ramps in the top half, where the filters matter, and noise below.
cv::Mat sample_image(int rows, int cols, int channels) {
    cv::Mat image(rows, cols, CV_8UC(channels));
    cv::randu(image, cv::Scalar::all(0), cv::Scalar::all(256));
    for (int r = 0; r < rows / 2; ++r)
        for (int c = 0; c < cols * channels; ++c) image.ptr(r)[c] = uchar(200 + (r + c) % 40);
    return image;
}

void write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

}  // namespace

// Every shape, grey or RGB, becomes an ordinary 8-bit non-interlaced PNG with one IDAT chunk,
// and libpng reads back exactly the pixels that were encoded.
TEST(EncodedPng, LibpngDecodesTheEncodedPixels) {
    fx::TempFolder folder;
    const struct {
        int rows, cols, channels;
    } cases[] = {{1, 1, 3}, {1, 1, 1}, {2, 6, 3}, {63, 5, 3}, {64, 7, 3}, {65, 9, 1}, {129, 300, 3}, {200, 17, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rows) + "x" + std::to_string(c.cols) + "x" + std::to_string(c.channels));
        const cv::Mat image = sample_image(c.rows, c.cols, c.channels);
        const std::string png = encode_png(image);
        const std::vector<Chunk> chunks = chunks_of(png);
        ASSERT_EQ(chunks.size(), 3u);
        EXPECT_EQ(chunks[0].type, "IHDR");
        EXPECT_EQ(chunks[0].data.substr(8), std::string({8, char(c.channels == 3 ? 2 : 0), 0, 0, 0}));
        EXPECT_EQ(chunks[1].type, "IDAT");
        EXPECT_EQ(chunks[2].type, "IEND");
        write_file(folder.path() / "image.png", png);
        EXPECT_TRUE(same(decoded_with_libpng(folder.path() / "image.png", c.channels), image));
    }
}

// Parts stacked in the encoder give the very bytes of the image joined beforehand.
TEST(EncodedPng, StackedPartsGiveTheBytesOfTheJoinedImage) {
    const cv::Mat band = sample_image(37, 120, 3), image = sample_image(150, 120, 3);
    cv::Mat joined;
    cv::vconcat(band, image, joined);
    EXPECT_EQ(encode_png(std::vector<cv::Mat>{band, image}), encode_png(joined));
}
