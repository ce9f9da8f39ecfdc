#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include "codecs/image_file.hpp"
#include "common/files.hpp"
#include "fixtures/temp_folder.hpp"
#include "png/chunks.hpp"
#include "png/encoder.hpp"

using tesmira::png::probe_header;
using tesmira::png::write_png;

TEST(PngWriter, RoundTripsEveryShapeExactly) {
    tesmira::fixtures::TempFolder folder;
    struct Case {
        int rows, cols, channels;
    } cases[] = {{1, 1, 3}, {1, 1, 1}, {63, 5, 3}, {64, 7, 3}, {65, 9, 1}, {300, 257, 3}, {1000, 3, 1}};
    for (const Case& c : cases) {
        cv::Mat image(c.rows, c.cols, CV_8UC(c.channels));
        cv::randu(image, cv::Scalar::all(0), cv::Scalar::all(256));
        // Smooth areas too, where the filters and the compression matter.
        image.rowRange(0, c.rows / 2).setTo(cv::Scalar::all(200));
        const auto path = folder.path() / "image.png";
        write_png(path, image);
        const cv::Mat back = tesmira::codecs::decode_image(tesmira::read_text_file(path)).pixels;
        ASSERT_EQ(back.channels(), c.channels);
        EXPECT_EQ(cv::norm(back, image, cv::NORM_INF), 0.0) << c.rows << "x" << c.cols;
        const auto header = probe_header(path);
        ASSERT_TRUE(header);
        EXPECT_EQ(header->width, c.cols);
        EXPECT_EQ(header->height, c.rows);
        EXPECT_EQ(header->bit_depth, 8);
        EXPECT_EQ(header->colour_type, c.channels == 3 ? 2 : 0);
    }
}
