#include <gtest/gtest.h>
#include <png.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "binder/write_images.hpp"
#include "engine/band.hpp"
#include "engine/image_reading.hpp"
#include "engine/limits.hpp"
#include "engine/page_job.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/resource_editor.hpp"
#include "fixtures/temp_folder.hpp"
#include "png/encoder.hpp"

namespace fs = std::filesystem;
namespace fx = tesmira::fixtures;
using tesmira::Json;
using namespace tesmira::engine;
using tesmira::png::encode_png;

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

// The result images of a page on screen and of a page that prints differently, with the noise
// pass's strict image, decode to the pixels the page has, which are what the encoding at zlib's
// default level, as result images were made before, decodes to.
TEST(EncodedPng, ResultImagesDecodeToThePixelsOfTheDefaultLevel) {
    fx::TempFolder folder;
    const auto write_page = [&](const fs::path& path, bool changed, bool press) {
        fx::Page page;
        page.media = {0, 0, 150, 110};
        page.images.push_back(fx::solid_image(30, 20, {90, 120, 150}));
        for (std::size_t i = 0; i < page.images[0].samples.size(); ++i)
            page.images[0].samples[i] = static_cast<unsigned char>(i * 7919 % 251);
        page.content = fx::text(10, 90, 10, "Price 1280 yen") + fx::draw_image(0, 60, 0, 0, 40, 10, 30) +
                       (press ? fx::fill_rect_cmyk({80, 20, 140, 60}, 0.2, 0.9, 0, 0.1) +
                                    "q /Overprint gs 0 0 1 0 k 90 30 20 20 re f Q\n"
                              : fx::fill_rect({80, 20, 140, 60}, 0.9, 0.1, 0.4)) +
                       (changed ? fx::fill_rect({100, 70, 104, 74}, 0, 0, 0) : "");
        fx::write_pdf(fx::many_pages(1, page), path);
        if (press) {
            fx::ResourceEditor editor(path);
            editor.add("/ExtGState", "/Overprint", "<< /OP true /op true /OPM 1 >>");
            editor.save();
        }
    };
    for (const bool press : {false, true}) {
        SCOPED_TRACE(press ? "press page" : "screen page");
        write_page(folder.path() / "before.pdf", false, press);
        write_page(folder.path() / "after.pdf", true, press);
        const Json settings{{"page", 1},
                            {"dpi", 200},
                            {"tolerance", 1},
                            {"opacity", 10},
                            {"border", 2},
                            {"grain", true},
                            {"diagnostic_images", false}};
        ComparedPage page = compare_page(folder.path(), read_page_settings(settings));
        const cv::Mat band = information_band(page.published.cols, page.settings.band, page.checked_at);
        cv::Mat expected;
        cv::vconcat(band, page.published, expected);
        const FinishedPage finished = finish_page(std::move(page));
        write_file(folder.path() / "default.png", encode_png(expected, 6));
        const cv::Mat before_now = decoded_with_libpng(folder.path() / "default.png", 3);
        EXPECT_TRUE(same(before_now, expected));
        write_file(folder.path() / "result.png", finished.result_png);
        EXPECT_TRUE(same(decoded_with_libpng(folder.path() / "result.png", 3), before_now));
        ASSERT_TRUE(finished.strict_png);
        for (const std::string* png : {&finished.result_png, &*finished.strict_png})
            EXPECT_EQ(chunks_of(*png).at(1).data.substr(0, 2), "\x78\x5e") << "zlib's header of a fast level";
    }
}

// Parts stacked in the encoder give the very bytes of the image joined beforehand.
TEST(EncodedPng, StackedPartsGiveTheBytesOfTheJoinedImage) {
    const cv::Mat band = sample_image(37, 120, 3), image = sample_image(150, 120, 3);
    cv::Mat joined;
    cv::vconcat(band, image, joined);
    EXPECT_EQ(encode_png(std::vector<cv::Mat>{band, image}), encode_png(joined));
}

// A page job's result image, as the page job saves it and the PDF writer embeds it, renders back
// to exactly its pixels. Poppler's pdftoppm smooths images drawn near their own size, but
// repeats each pixel when it enlarges an image four times or more, so the page is rendered at
// four times the resolution and every fourth pixel is read.
TEST(EncodedPng, PageResultReachesThePdfPixelForPixel) {
    if (std::system("command -v pdftoppm > /dev/null") != 0) GTEST_SKIP() << "poppler-utils missing";
    fx::TempFolder folder;
    fx::Page before;
    before.media = {0, 0, 100, 80};
    before.images.push_back(fx::solid_image(40, 30, {90, 120, 150}));
    before.content = fx::draw_image(0, 40, 0, 0, 30, 10, 40);
    fx::Page after = before;
    for (std::size_t i = 0; i < after.images[0].samples.size(); ++i)
        after.images[0].samples[i] = static_cast<unsigned char>(i * 7919 % 251);
    after.content += fx::fill_rect({70, 10, 70.5, 10.5}, 0.8, 0.1, 0.1);  // a tiny change, marked
    fx::write_pdf(fx::many_pages(1, before), folder.path() / "before.pdf");
    fx::write_pdf(fx::many_pages(1, after), folder.path() / "after.pdf");
    const Json settings{{"page", 1},
                        {"dpi", 144},
                        {"tolerance", 1},
                        {"opacity", 10},
                        {"border", 2},
                        {"tiny_markers", true},
                        {"before_name", "旧.pdf"},
                        {"after_name", "新.pdf"}};

    ComparedPage page = compare_page(folder.path(), tesmira::engine::read_page_settings(settings));
    cv::Mat expected;
    cv::vconcat(information_band(page.published.cols, page.settings.band, page.checked_at), page.published, expected);
    const Json record = save_page(folder.path(), std::move(page));
    EXPECT_EQ(record["header_height"], expected.rows - (80 * 2 + 2 * CANVAS_MARGIN));
    EXPECT_TRUE(same(decoded_with_libpng(folder.path() / "result.png", 3), expected));

    const fs::path pdf = folder.path() / "result.pdf";
    tesmira::binder::write_images({folder.path() / "result.png"}, pdf, 144, MAX_OUTPUT_PIXELS);
    const std::string command =
        "pdftoppm -r 576 -png -singlefile '" + pdf.string() + "' '" + (folder.path() / "rendered").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const cv::Mat rendered = decoded_with_libpng(folder.path() / "rendered.png", 3);
    ASSERT_EQ(rendered.size(), cv::Size(expected.cols * 4, expected.rows * 4));
    cv::Mat sampled(expected.size(), CV_8UC3);
    for (int r = 0; r < expected.rows; ++r)
        for (int c = 0; c < expected.cols; ++c)
            sampled.at<cv::Vec3b>(r, c) = rendered.at<cv::Vec3b>(4 * r + 1, 4 * c + 1);
    EXPECT_TRUE(same(sampled, expected));
}
