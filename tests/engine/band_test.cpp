#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>

#include "common/errors.hpp"
#include "engine/band.hpp"
#include "engine/display_names.hpp"
#include "engine/font.hpp"

using tesmira::Json;
using tesmira::TokyoTime;
using tesmira::engine::BandFont;

namespace {

TokyoTime check_time() {
    using namespace std::chrono;
    return tesmira::to_tokyo(sys_days{year{2026} / 12 / 9} + hours{1} + minutes{11} + seconds{12});
}

// A result image with some structure, so that "unchanged" means something.
cv::Mat sample_result(int width, int height) {
    cv::Mat image(height, width, CV_8UC3);
    cv::randu(image, cv::Scalar::all(0), cv::Scalar::all(256));
    return image;
}

// The band as a page's settings record asks for it.
tesmira::engine::AnnotatedImage annotate(const cv::Mat& image, const Json& settings, const TokyoTime& time) {
    return tesmira::engine::annotate_result(image, tesmira::engine::read_band_settings(settings), time);
}

Json settings(int dpi) { return Json{{"dpi", dpi}, {"before_name", "/work/old/表紙.pdf"}, {"after_name", "表紙.pdf"}}; }

// Bounding box of the non-white pixels of an image.
cv::Rect ink(const cv::Mat& rgb) {
    cv::Mat not_white(rgb.size(), CV_8U);
    for (int r = 0; r < rgb.rows; ++r)
        for (int c = 0; c < rgb.cols; ++c)
            not_white.at<uchar>(r, c) = rgb.at<cv::Vec3b>(r, c) != cv::Vec3b(255, 255, 255);
    std::vector<cv::Point> points;
    cv::findNonZero(not_white, points);
    return points.empty() ? cv::Rect() : cv::boundingRect(points);
}

void expect_image_below_unchanged(const tesmira::engine::AnnotatedImage& out, const cv::Mat& input) {
    ASSERT_EQ(out.canvas.rows, input.rows + out.header_height);
    ASSERT_EQ(out.canvas.cols, input.cols);
    cv::Mat below = out.canvas.rowRange(out.header_height, out.canvas.rows);
    EXPECT_EQ(cv::norm(below, input, cv::NORM_INF), 0.0);
}

}  // namespace

TEST(InformationBand, OneLineAt300DpiFollowsTheLayout) {
    const cv::Mat input = sample_result(2581, 400);
    auto out = annotate(input, settings(300), check_time());
    // The shipped stamp is 588 x 120, which scales to 612 x 125.
    EXPECT_EQ(out.header_height, 159);
    expect_image_below_unchanged(out, input);

    cv::Mat band = out.canvas.rowRange(0, out.header_height);
    for (int x = 17; x <= 2564; ++x) ASSERT_EQ(band.at<cv::Vec3b>(158, x), cv::Vec3b(225, 225, 225)) << x;
    EXPECT_EQ(band.at<cv::Vec3b>(158, 16), cv::Vec3b(255, 255, 255));
    EXPECT_EQ(band.at<cv::Vec3b>(158, 2565), cv::Vec3b(255, 255, 255));

    cv::Rect stamp = ink(band(cv::Rect(0, 0, 17 + 612, 158)));
    EXPECT_GE(stamp.x, 17);
    EXPECT_GE(stamp.y, 17);
    EXPECT_LE(stamp.br().y, 17 + 125);
    cv::Rect text = ink(band(cv::Rect(17 + 612, 0, 2581 - 17 - 612, 158)));
    EXPECT_GE(text.x + 17 + 612, 646 - 1) << "text starts after the stamp and the gap";
    EXPECT_NEAR(text.y + text.height / 2.0, 79.5, 12) << "text stands at the band's middle";
}

TEST(InformationBand, WrappedLayoutGrowsByOneRowPerLine) {
    const cv::Mat input = sample_result(2581, 100);
    Json s = settings(300);
    s["before_name"] = std::string(120, 'A') + "_very_long_name.pdf";
    auto out = annotate(input, s, check_time());

    BandFont font(29);
    std::vector<std::string> fields = {"変更前: " + tesmira::engine::display_filename(s["before_name"], "before.pdf"),
                                       "変更後: 表紙.pdf",
                                       "検版日時: 2026/12/09 10:11:12 JST"};
    const auto lines = tesmira::engine::wrap_identity_fields(fields, font, 2547);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(out.header_height, 3 * 17 + 125 + 50 * int(lines.size()));
    expect_image_below_unchanged(out, input);
    EXPECT_EQ(out.canvas.at<cv::Vec3b>(out.header_height - 1, 17), cv::Vec3b(225, 225, 225));
    // Every line stands left-aligned at the margin, below the stamp.
    cv::Rect text = ink(out.canvas(cv::Rect(0, 17 + 125 + 17, 2581, out.header_height - 1 - (17 + 125 + 17))));
    EXPECT_LE(std::abs(text.x - 17), 3);
}

TEST(InformationBand, EqualWidthStillFitsOnOneLine) {
    BandFont font(29);
    const std::string joined = "変更前: 表紙.pdf\u3000変更後: 表紙.pdf\u3000検版日時: 2026/12/09 10:11:12 JST";
    const double width = font.text_width(joined);
    ASSERT_EQ(width, std::floor(width)) << "hinted advances are whole pixels";
    const int exact = int(width) + 2 + 612 + 3 * 17;
    EXPECT_EQ(annotate(sample_result(exact, 10), settings(300), check_time()).header_height, 159);
    EXPECT_GT(annotate(sample_result(exact - 1, 10), settings(300), check_time()).header_height, 159);
}

TEST(InformationBand, StampChoiceAndScale) {
    struct Case {
        Json stamp, style;
        int dpi, width, header_height;
    } cases[] = {
        {Json(), Json(), 300, 2581, 159},
        {Json(), "web", 300, 2581, 2 * 17 + 153},  // the 400 x 100 mark at 612 wide
        {Json(), "Web", 300, 2581, 159},
        {Json(), "web ", 300, 2581, 159},
        {false, Json(), 300, 2581, 2 * 17 + 50},
        {false, "web", 300, 2581, 84},
        {Json(), Json(), 200, 1754, 2 * 11 + 83},  // stamp 408 x 83
    };
    for (const Case& c : cases) {
        Json s = settings(c.dpi);
        if (!c.stamp.is_null()) s["stamp"] = c.stamp;
        if (!c.style.is_null()) s["stamp_style"] = c.style;
        auto out = annotate(sample_result(c.width, 20), s, check_time());
        EXPECT_EQ(out.header_height, c.header_height) << s.dump();
    }
}

TEST(InformationBand, WithoutAStampTheTextStartsAtTheMargin) {
    Json s = settings(300);
    s["stamp"] = false;
    auto out = annotate(sample_result(2581, 10), s, check_time());
    cv::Rect text = ink(out.canvas.rowRange(0, out.header_height - 1));
    EXPECT_LE(std::abs(text.x - 17), 3);
    EXPECT_NEAR(text.y + text.height / 2.0, 42.0, 8);
}

TEST(InformationBand, NarrowImageGetsAStampAsWideAsTheRoom) {
    const cv::Mat input = sample_result(157, 30);
    auto out = annotate(input, Json{{"dpi", 144}}, check_time());
    // The stamp is 141 x 29; three short fields still wrap at this width.
    BandFont font(14);
    const auto lines = tesmira::engine::wrap_identity_fields(
        {"変更前: before.pdf", "変更後: after.pdf", "検版日時: 2026/12/09 10:11:12 JST"}, font, 141);
    EXPECT_EQ(out.header_height, 3 * 8 + 29 + 24 * int(lines.size()));
    expect_image_below_unchanged(out, input);
}

TEST(InformationBand, MissingDpiIsAKeyError) {
    EXPECT_THROW(annotate(sample_result(100, 10), Json{{"stamp", false}}, check_time()), tesmira::MissingSettingError);
}

// A byte of a name that is not UTF-8 shows as the desktop shows it: the replacement character,
// drawn from a face that has it, not the Japanese face's missing-glyph box.
TEST(InformationBand, ReplacementCharactersAreDrawnAsSuch) {
    BandFont font(29);
    const auto drawn = [&](const std::string& text) {
        cv::Mat canvas(60, 200, CV_8UC3, cv::Scalar::all(255));
        font.draw_left_middle(canvas, text, 10, 30, cv::Vec3b(0, 0, 0));
        return canvas;
    };
    if (!BandFont::find_replacement_font_file())
        GTEST_SKIP() << "fontconfig offers no face with U+FFFD (fonts-dejavu-core has one)";
    const cv::Mat missing = drawn("\U0001F600");  // no glyph in the Japanese face: its box
    const cv::Mat replacement = drawn("\uFFFD");
    EXPECT_GT(cv::norm(missing, replacement, cv::NORM_INF), 0.0);
    EXPECT_GT(ink(replacement).area(), 0);
    EXPECT_GT(font.text_width("\uFFFD"), 0);
    // The band of a name that is not UTF-8 holds the same pixels as that of its shown form.
    Json odd = settings(300), shown = settings(300);
    odd["after_name"] = "\x8c\x9f.pdf";
    shown["after_name"] = "\uFFFD\uFFFD.pdf";
    const cv::Mat image = sample_result(2581, 10);
    EXPECT_EQ(
        cv::norm(annotate(image, odd, check_time()).canvas, annotate(image, shown, check_time()).canvas, cv::NORM_INF),
        0.0);
}
