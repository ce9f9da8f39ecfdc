#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <functional>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "engine/compare.hpp"
#include "fixtures/refusal.hpp"

using tesmira::UserError;
using tesmira::engine::compare_arrays;
using tesmira::engine::CompareOptions;
using tesmira::engine::CompareResult;

namespace {

constexpr int M = 50;  // canvas margin
const cv::Vec3b kRed(255, 0, 0);
const cv::Vec3b kWhite(255, 255, 255);
const cv::Vec3b kBlack(0, 0, 0);
const cv::Vec3b kBlue(0, 0, 200);           // a background that shows whether it was faded
const cv::Vec3b kBlueFaded(230, 230, 250);  // kBlue through the opacity-10 fade

const std::string kSizeMessage = "新旧PDFの仕上がりサイズが異なります。自動拡大・縮小は行いません。";
const std::string kSettingsMessage = "比較設定が範囲外です。";
const std::string kIgnoredMessage = "軽減範囲のサイズが一致しません。";
const std::string kScopeMessage = "画像範囲のサイズが一致しません。";
const std::string kFragmentsMessage = "差分の断片が多すぎます。書出し条件を揃えるか、許容値を少し上げてください。";

cv::Mat page(int rows, int cols, cv::Vec3b colour = kWhite) {
    return cv::Mat(rows, cols, CV_8UC3, cv::Scalar(colour[0], colour[1], colour[2]));
}

void fill(cv::Mat& image, cv::Rect area, cv::Vec3b colour) {
    image(area).setTo(cv::Scalar(colour[0], colour[1], colour[2]));
}

// Pixel of a canvas-sized image at canvas (x, y).
cv::Vec3b at(const cv::Mat& image, int x, int y) { return image.at<cv::Vec3b>(y, x); }

int red_pixels(const cv::Mat& image) {
    int count = 0;
    for (int r = 0; r < image.rows; ++r)
        for (int c = 0; c < image.cols; ++c) count += image.at<cv::Vec3b>(r, c) == kRed;
    return count;
}

using tesmira::fixtures::refusal;

bool same(const cv::Mat& a, const cv::Mat& b) {
    return a.size == b.size && a.type() == b.type() && cv::countNonZero(cv::Mat(a != b).reshape(1)) == 0;
}

// A white page with `count` isolated black pixels two apart, 400 to a row.
struct Dots {
    cv::Mat before, after;
};
Dots dotted_pages(int count) {
    constexpr int per_row = 400;
    const int rows = (count + per_row - 1) / per_row;
    Dots d{page(2 * rows, 2 * per_row), page(2 * rows, 2 * per_row)};
    for (int i = 0; i < count; ++i) d.after.at<cv::Vec3b>(2 * (i / per_row), 2 * (i % per_row)) = kBlack;
    return d;
}

// ---------------------------------------------------------------------------------------------
// Pages without a difference

struct NoChangeCase {
    const char* name;
    cv::Vec3b before_ink;
    int tolerance;
};

class NoChange : public testing::TestWithParam<NoChangeCase> {};

TEST_P(NoChange, FadesTheWholeCanvasWithoutRegions) {
    // Ink of grey 0 and 128 on white; the old page may differ by up to the tolerance.
    cv::Mat after = page(30, 40);
    fill(after, {0, 0, 10, 10}, kBlack);
    fill(after, {20, 10, 10, 10}, cv::Vec3b(128, 128, 128));
    cv::Mat before = page(30, 40);
    fill(before, {0, 0, 10, 10}, GetParam().before_ink);
    fill(before, {20, 10, 10, 10}, cv::Vec3b(128, 128, 128));

    CompareOptions options;
    options.tolerance = GetParam().tolerance;
    const CompareResult r = compare_arrays(before, after, options);

    EXPECT_EQ(r.stats.to_json().dump(),
              R"({"regions":0,"changed_pixels":0,"changed_percent":0.0,"boxes":[],"boxes_truncated":false})");
    ASSERT_EQ(r.result.size(), cv::Size(140, 130));
    EXPECT_EQ(r.mask.size(), cv::Size(140, 130));
    EXPECT_EQ(cv::countNonZero(r.mask), 0);
    EXPECT_EQ(red_pixels(r.result), 0);
    EXPECT_EQ(at(r.result, M + 5, M + 5), cv::Vec3b(230, 230, 230));
    EXPECT_EQ(at(r.result, M + 25, M + 15), cv::Vec3b(242, 242, 242));
    EXPECT_EQ(at(r.result, M + 35, M + 25), kWhite);
    EXPECT_EQ(at(r.result, 0, 0), kWhite);
    EXPECT_EQ(at(r.result, M + 40, M + 30), kWhite);  // margin below and right of the page
}

INSTANTIATE_TEST_SUITE_P(Cases, NoChange,
                         testing::Values(NoChangeCase{"Identical", kBlack, 1},
                                         NoChangeCase{"EverythingWithinTolerance255", kWhite, 255}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Statistics

TEST(CompareStatistics, WholePageChangedCountsAgainstThePaddedCanvas) {
    const CompareResult r = compare_arrays(page(100, 100, kWhite), page(100, 100, kBlack));
    EXPECT_EQ(r.stats.to_json().dump(),
              R"({"regions":1,"changed_pixels":10000,"changed_percent":25.0,)"
              R"("boxes":[{"x":50,"y":50,"width":100,"height":100}],"boxes_truncated":false})");
}

struct ToleranceCase {
    const char* name;
    int tolerance;
    cv::Vec3b before, after;
    bool changed;
};

class Tolerance : public testing::TestWithParam<ToleranceCase> {};

TEST_P(Tolerance, LargestChannelDifferenceAboveToleranceIsAChange) {
    const ToleranceCase& c = GetParam();
    cv::Mat before = page(20, 20, c.before);
    cv::Mat after = before.clone();
    after.at<cv::Vec3b>(0, 0) = c.after;  // page corner: canvas (50, 50)
    CompareOptions options;
    options.tolerance = c.tolerance;
    const CompareResult r = compare_arrays(before, after, options);
    if (c.changed) {
        // One pixel of the 120 × 120 canvas: 0.00694… %, four decimals kept.
        EXPECT_EQ(r.stats.to_json().dump(),
                  R"({"regions":1,"changed_pixels":1,"changed_percent":0.0069,)"
                  R"("boxes":[{"x":50,"y":50,"width":1,"height":1}],"boxes_truncated":false})");
    } else {
        EXPECT_EQ(r.stats.regions, 0);
        EXPECT_EQ(r.stats.changed_pixels, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Tolerance,
    testing::Values(ToleranceCase{"ZeroTolerateNothing", 0, {100, 100, 100}, {100, 100, 100}, false},
                    ToleranceCase{"ZeroOneStep", 0, {100, 100, 100}, {100, 101, 100}, true},
                    ToleranceCase{"EqualToTolerance", 5, {100, 100, 100}, {105, 100, 95}, false},
                    ToleranceCase{"OneAboveInOneChannel", 5, {100, 100, 100}, {100, 100, 106}, true},
                    ToleranceCase{"DarkerCountsToo", 5, {100, 100, 100}, {94, 100, 100}, true},
                    ToleranceCase{"FullRangeAbove254", 254, {0, 0, 0}, {0, 255, 0}, true},
                    ToleranceCase{"FullRangeWithin255", 255, {0, 0, 0}, {255, 255, 255}, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct BoxCountCase {
    int dots;
    bool truncated;
};

TEST(CompareStatistics, KeepsTheFirst200Boxes) {
    for (const BoxCountCase c : {BoxCountCase{200, false}, BoxCountCase{201, true}}) {
        SCOPED_TRACE(c.dots);
        const Dots d = dotted_pages(c.dots);
        const CompareResult r = compare_arrays(d.before, d.after);
        EXPECT_EQ(r.stats.regions, c.dots);
        EXPECT_EQ(r.stats.changed_pixels, c.dots);
        ASSERT_EQ(r.stats.boxes.size(), 200u);
        EXPECT_EQ(r.stats.boxes_truncated, c.truncated);
        for (const auto& box : r.stats.boxes) {
            EXPECT_EQ(box.width, 1);
            EXPECT_EQ(box.height, 1);
            EXPECT_EQ(cv::Vec3b(d.after.at<cv::Vec3b>(box.y - M, box.x - M)), kBlack);
        }
    }
}

TEST(CompareStatistics, RefusesMoreThan100000Fragments) {
    {
        const Dots d = dotted_pages(100'000);
        const CompareResult r = compare_arrays(d.before, d.after);
        EXPECT_EQ(r.stats.regions, 100'000);
        EXPECT_EQ(r.stats.boxes.size(), 200u);
        EXPECT_TRUE(r.stats.boxes_truncated);
    }
    const Dots d = dotted_pages(100'001);
    EXPECT_EQ(refusal([&] { compare_arrays(d.before, d.after); }), kFragmentsMessage);
    // The fragment count is checked before the image scope's size.
    CompareOptions options;
    options.direct_scope = cv::Mat::ones(3, 3, CV_8U);
    EXPECT_EQ(refusal([&] { compare_arrays(d.before, d.after, options); }), kFragmentsMessage);
}

// ---------------------------------------------------------------------------------------------
// Regions: enclosed pixels

struct EnclosureCase {
    const char* name;
    std::vector<cv::Point> gaps;  // ring pixels left unchanged
    bool interior_enclosed;
    int changed_pixels;
};

class Enclosure : public testing::TestWithParam<EnclosureCase> {};

TEST_P(Enclosure, FillsOnlyPixelsCutOffFromTheMarginByHorizontalAndVerticalSteps) {
    const EnclosureCase& c = GetParam();
    // A one-pixel black ring on pages 10..19 × 10..19 of a blue page.
    const cv::Mat before = page(30, 30, kBlue);
    cv::Mat after = before.clone();
    cv::rectangle(after, cv::Point(10, 10), cv::Point(19, 19), cv::Scalar(0, 0, 0), 1);
    for (const cv::Point& gap : c.gaps) after.at<cv::Vec3b>(gap) = kBlue;

    const CompareResult r = compare_arrays(before, after);
    EXPECT_EQ(r.stats.regions, 1);
    EXPECT_EQ(r.stats.changed_pixels, c.changed_pixels);
    const int x = M + 15, y = M + 15;  // middle of the ring
    EXPECT_EQ(r.mask.at<uchar>(y, x), c.interior_enclosed ? 255 : 0);
    EXPECT_EQ(at(r.result, x, y), c.interior_enclosed ? kBlue : kBlueFaded);
    if (c.interior_enclosed) {
        // No inner outline: the pixel just inside the ring keeps full colour.
        EXPECT_EQ(at(r.result, M + 11, M + 11), kBlue);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Enclosure,
                         testing::Values(EnclosureCase{"ClosedRing", {}, true, 100},
                                         // The inside touches the outside only diagonally across the missing corner.
                                         EnclosureCase{"DiagonalGap", {{19, 19}}, true, 99},
                                         EnclosureCase{"OpenSide", {{19, 15}}, false, 35}),
                         [](const auto& info) { return std::string(info.param.name); });

// The region mask against the definition of a region, made step by step on random changes of
// every density: the changed pixels with every unchanged pixel that horizontal and vertical
// steps through unchanged pixels cannot connect to the margin, outlined, approximated and filled.
TEST(Regions, AreTheChangesWithEverythingCutOffFromTheMargin) {
    cv::RNG random(5);
    for (const int percent : {1, 10, 30, 50, 70, 95}) {
        SCOPED_TRACE(percent);
        const cv::Mat before = page(90, 120, kBlue);
        cv::Mat after = before.clone();
        for (int r = 0; r < after.rows; ++r)
            for (int c = 0; c < after.cols; ++c)
                if (random.uniform(0, 100) < percent) after.at<cv::Vec3b>(r, c) = kBlack;
        const CompareResult result = compare_arrays(before, after);

        cv::Mat unchanged(after.rows + 2 * M, after.cols + 2 * M, CV_8U, cv::Scalar(1));
        cv::Mat page_area = unchanged(cv::Rect(M, M, after.cols, after.rows));
        for (int r = 0; r < after.rows; ++r)
            for (int c = 0; c < after.cols; ++c) page_area.at<uchar>(r, c) = after.at<cv::Vec3b>(r, c) == kBlue;
        cv::floodFill(unchanged, cv::Point(0, 0), cv::Scalar(2), nullptr, cv::Scalar(0), cv::Scalar(0), 4);
        std::vector<std::vector<cv::Point>> contours;
        cv::findContours(cv::Mat(unchanged != 2), contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
        for (auto& contour : contours) cv::approxPolyDP(std::vector<cv::Point>(contour), contour, 0.5, true);
        cv::Mat expected = cv::Mat::zeros(unchanged.size(), CV_8U);
        cv::drawContours(expected, contours, -1, cv::Scalar(255), cv::FILLED);

        EXPECT_TRUE(same(result.mask, expected));
        EXPECT_EQ(result.stats.regions, int(contours.size()));
    }
}

// ---------------------------------------------------------------------------------------------
// Result image

// Consecutive red pixels from (x, y) on, stepping by (dx, dy).
int red_run(const cv::Mat& image, int x, int y, int dx, int dy) {
    int n = 0;
    while (x >= 0 && y >= 0 && x < image.cols && y < image.rows && at(image, x, y) == kRed) {
        ++n;
        x += dx;
        y += dy;
    }
    return n;
}

TEST(ResultImage, OutlineLiesOutsideAndInsideTheRegionEdgeByBorderWidth) {
    struct Case {
        int border, outside, inside;
    };
    // A black 20 × 20 square at the page's left edge (canvas columns 50..69, rows 70..89).
    const cv::Mat before = page(60, 60, kBlue);
    cv::Mat after = before.clone();
    fill(after, {0, 20, 20, 20}, kBlack);
    for (const Case c : {Case{1, 1, 0}, Case{2, 1, 1}, Case{3, 2, 1}, Case{4, 2, 2}, Case{5, 3, 2}, Case{6, 3, 3}}) {
        SCOPED_TRACE(c.border);
        CompareOptions options;
        options.border = c.border;
        const CompareResult r = compare_arrays(before, after, options);
        // Left edge, reaching into the margin.
        EXPECT_EQ(red_run(r.result, M - 1, 80, -1, 0), c.outside);
        EXPECT_EQ(red_run(r.result, M, 80, 1, 0), c.inside);
        EXPECT_EQ(at(r.result, M - 1 - c.outside, 80), kWhite);
        EXPECT_EQ(at(r.result, M + c.inside, 80), kBlack);
        // Top edge, on the page.
        EXPECT_EQ(red_run(r.result, 60, 69, 0, -1), c.outside);
        EXPECT_EQ(red_run(r.result, 60, 70, 0, 1), c.inside);
        EXPECT_EQ(at(r.result, 60, 69 - c.outside), kBlueFaded);
        EXPECT_EQ(at(r.result, 60, 70 + c.inside), kBlack);
        EXPECT_EQ(r.stats.changed_pixels, 400);  // the outline does not change the region
    }
}

// The outline is painted strip by strip of 128 canvas rows; it is still the outline of the
// whole region mask where regions end at, cross or lie next to a strip's edge.
TEST(ResultImage, OutlineAcrossStripEdgesIsThatOfTheWholeMask) {
    const cv::Mat before = page(300, 60, kBlue);
    cv::Mat after = before.clone();
    fill(after, {10, 70, 30, 20}, kBlack);  // canvas rows 120 to 139: across the edge at 128
    fill(after, {5, 78, 3, 1}, kBlack);     // canvas row 128 alone, the first row of a strip
    fill(after, {20, 200, 5, 6}, kBlack);   // canvas rows 250 to 255: ends on the edge at 256
    fill(after, {40, 206, 4, 2}, kBlack);   // canvas rows 256 and 257, just below it
    for (int border = 1; border <= 6; ++border) {
        SCOPED_TRACE(border);
        CompareOptions options;
        options.border = border;
        const CompareResult r = compare_arrays(before, after, options);
        const int grow = (border + 1) / 2, shrink = border / 2;
        cv::Mat grown, shrunk;
        cv::dilate(r.mask, grown, cv::Mat::ones(2 * grow + 1, 2 * grow + 1, CV_8U));
        if (shrink > 0)
            cv::erode(r.mask, shrunk, cv::Mat::ones(2 * shrink + 1, 2 * shrink + 1, CV_8U));
        else
            shrunk = r.mask;
        cv::Mat red(r.result.size(), CV_8U);
        for (int y = 0; y < red.rows; ++y)
            for (int x = 0; x < red.cols; ++x) red.at<uchar>(y, x) = at(r.result, x, y) == kRed ? 255 : 0;
        EXPECT_TRUE(same(red, cv::Mat(grown > shrunk)));
    }
}

TEST(ResultImage, RegionNarrowerThanTheErosionIsRedThroughout) {
    const cv::Mat before = page(20, 20, kBlue);
    cv::Mat after = before.clone();
    fill(after, {5, 10, 10, 3}, kBlack);  // three rows high; border 4 erodes by two
    CompareOptions options;
    options.border = 4;
    const CompareResult r = compare_arrays(before, after, options);
    for (int y = M + 10; y < M + 13; ++y)
        for (int x = M + 5; x < M + 15; ++x) EXPECT_EQ(at(r.result, x, y), kRed) << x << "," << y;
}

TEST(ResultImage, FadeTableSingleLevelsThroughTheUnchangedPage) {
    struct Case {
        int opacity;
        std::vector<std::pair<int, int>> entries;  // channel value, faded value
    };
    // Identical pages with one pixel of every grey level: column v holds grey v.
    cv::Mat grey_ramp = page(1, 256);
    for (int v = 0; v < 256; ++v) grey_ramp.at<cv::Vec3b>(0, v) = cv::Vec3b(uchar(v), uchar(v), uchar(v));
    for (const Case& c : {Case{10, {{0, 230}, {128, 242}, {255, 255}}},
                          Case{7, {{5, 238}, {255, 255}}},  // single precision: double would give 237
                          Case{0, {{0, 255}, {128, 255}, {254, 255}}},
                          Case{100, {{0, 0}, {1, 1}, {77, 77}, {254, 254}}}}) {
        SCOPED_TRACE(c.opacity);
        CompareOptions options;
        options.opacity = c.opacity;
        const CompareResult r = compare_arrays(grey_ramp, grey_ramp, options);
        for (const auto& [v, faded] : c.entries) {
            SCOPED_TRACE(v);
            EXPECT_EQ(at(r.result, M + v, M), cv::Vec3b(uchar(faded), uchar(faded), uchar(faded)));
        }
    }
}

TEST(ResultImage, OpacityZeroLeavesOnlyRegionsAndOutlines) {
    const cv::Mat before = page(40, 40, kBlue);
    cv::Mat after = before.clone();
    fill(after, {10, 10, 10, 10}, kBlack);
    CompareOptions options;
    options.opacity = 0;
    const CompareResult r = compare_arrays(before, after, options);
    EXPECT_EQ(at(r.result, M + 2, M + 2), kWhite);
    EXPECT_EQ(at(r.result, M + 15, M + 15), kBlack);
    EXPECT_EQ(at(r.result, M + 9, M + 15), kRed);
    EXPECT_EQ(at(r.result, M + 10, M + 15), kRed);
}

TEST(ResultImage, ContentOnlyOnTheOldPageShowsTheNewPage) {
    const cv::Vec3b paper(200, 100, 50);
    const cv::Mat after = page(40, 40, paper);
    cv::Mat before = after.clone();
    fill(before, {10, 10, 10, 10}, kBlack);
    const CompareResult r = compare_arrays(before, after);
    ASSERT_EQ(r.stats.boxes.size(), 1u);
    EXPECT_EQ(r.stats.boxes[0].to_json().dump(), R"({"x":60,"y":60,"width":10,"height":10})");
    EXPECT_EQ(at(r.result, M + 15, M + 15), paper);  // full colour, not faded
    EXPECT_EQ(at(r.result, M + 9, M + 15), kRed);
    for (int y = 0; y < r.result.rows; ++y)
        for (int x = 0; x < r.result.cols; ++x) ASSERT_NE(at(r.result, x, y), kBlack) << x << "," << y;
}

// ---------------------------------------------------------------------------------------------
// Image-noise masks

// Two black squares on a blue 40 × 80 page: A at page columns 5..14, B at 50..59, rows 5..14.
struct TwoSquares : testing::Test {
    cv::Mat before = page(40, 80, kBlue);
    cv::Mat after = before.clone();
    void SetUp() override {
        fill(after, {5, 5, 10, 10}, kBlack);
        fill(after, {50, 5, 10, 10}, kBlack);
    }
};

TEST_F(TwoSquares, IgnoredPixelsClearTheirDifferences) {
    CompareOptions options;
    options.ignored_pixels = cv::Mat::zeros(40, 80, CV_8U);
    (*options.ignored_pixels)(cv::Rect(0, 0, 40, 40)).setTo(1);  // covers A
    const CompareResult r = compare_arrays(before, after, options);
    EXPECT_EQ(r.stats.to_json().dump(),
              R"({"regions":1,"changed_pixels":100,"changed_percent":0.3968,)"
              R"("boxes":[{"x":100,"y":55,"width":10,"height":10}],"boxes_truncated":false})");
    // A is shown as unchanged page: faded black, no outline.
    EXPECT_EQ(at(r.result, M + 10, M + 10), cv::Vec3b(230, 230, 230));
    EXPECT_EQ(at(r.result, M + 4, M + 10), kBlueFaded);
}

TEST_F(TwoSquares, RefusesMasksOfAnotherSize) {
    const std::vector<cv::Mat> wrong = {cv::Mat::zeros(140, 180, CV_8U),  // the padded canvas
                                        cv::Mat::zeros(80, 40, CV_8U),
                                        cv::Mat::zeros(40, 80, CV_8UC3)};
    for (std::size_t i = 0; i < wrong.size(); ++i) {
        SCOPED_TRACE(i);
        CompareOptions ignored;
        ignored.ignored_pixels = wrong[i];
        EXPECT_EQ(refusal([&] { compare_arrays(before, after, ignored); }), kIgnoredMessage);
        // The image scope is checked after the first pass over these regions succeeded.
        CompareOptions scope;
        scope.direct_scope = wrong[i];
        EXPECT_EQ(refusal([&] { compare_arrays(before, after, scope); }), kScopeMessage);
    }
}

TEST(DirectScope, KeepsOnlyTrulyDifferingPixelsInsideTheScope) {
    // Two black rings with a black dot in the middle; the scope covers the left one.
    const cv::Mat before = page(40, 100, kBlue);
    cv::Mat after = before.clone();
    for (int left : {10, 60}) {
        cv::rectangle(after, cv::Point(left, 10), cv::Point(left + 19, 29), cv::Scalar(0, 0, 0), 1);
        after.at<cv::Vec3b>(20, left + 10) = kBlack;
    }
    CompareOptions options;
    options.direct_scope = cv::Mat::zeros(40, 100, CV_8U);
    (*options.direct_scope)(cv::Rect(0, 0, 50, 40)).setTo(1);

    const CompareResult plain = compare_arrays(before, after);
    EXPECT_EQ(plain.stats.changed_pixels, 800);
    const CompareResult r = compare_arrays(before, after, options);
    EXPECT_EQ(r.stats.regions, 2);
    EXPECT_EQ(r.stats.changed_pixels, 76 + 1 + 400);
    // Inside the scope the unchanged middle drops out and the dot stands alone, outlined.
    EXPECT_EQ(r.mask.at<uchar>(M + 15, M + 15), 0);
    EXPECT_EQ(r.mask.at<uchar>(M + 20, M + 20), 255);
    EXPECT_EQ(at(r.result, M + 15, M + 15), kBlueFaded);
    EXPECT_EQ(at(r.result, M + 21, M + 20), kRed);
    EXPECT_EQ(at(r.result, M + 11, M + 11), kRed);  // inner edge of the ring now has an outline
    // Outside the scope the ring stays filled.
    EXPECT_EQ(r.mask.at<uchar>(M + 15, M + 65), 255);
    EXPECT_EQ(at(r.result, M + 65, M + 15), kBlue);
    EXPECT_EQ(at(r.result, M + 61, M + 11), kBlue);
}

// ---------------------------------------------------------------------------------------------
// Refusals and their order

TEST(CompareRefusals, ComeInTheirOrder) {
    struct Case {
        const char* name;
        cv::Mat before, after;
        CompareOptions options;
        std::string message;
    };
    const cv::Mat p = page(30, 40);
    const cv::Mat changed = [&] {
        cv::Mat m = p.clone();
        fill(m, {5, 5, 5, 5}, kBlack);
        return m;
    }();
    auto with = [](auto set) {
        CompareOptions o;
        set(o);
        return o;
    };
    const cv::Mat padded_mask = cv::Mat::zeros(130, 140, CV_8U);
    const std::vector<Case> cases = {
        {"Height", page(31, 40), p, {}, kSizeMessage},
        {"Transposed", page(40, 30), p, {}, kSizeMessage},
        {"Channels", cv::Mat(30, 40, CV_8UC4, cv::Scalar::all(255)), p, {}, kSizeMessage},
        {"SizeBeforeSettings", page(30, 41), p, with([](CompareOptions& o) { o.tolerance = 256; }), kSizeMessage},
        {"ToleranceLow", p, changed, with([](CompareOptions& o) { o.tolerance = -1; }), kSettingsMessage},
        {"ToleranceHigh", p, changed, with([](CompareOptions& o) { o.tolerance = 256; }), kSettingsMessage},
        {"OpacityLow", p, changed, with([](CompareOptions& o) { o.opacity = -1; }), kSettingsMessage},
        {"OpacityHigh", p, changed, with([](CompareOptions& o) { o.opacity = 101; }), kSettingsMessage},
        {"BorderLow", p, changed, with([](CompareOptions& o) { o.border = 0; }), kSettingsMessage},
        {"BorderHigh", p, changed, with([](CompareOptions& o) { o.border = 7; }), kSettingsMessage},
        {"SettingsBeforeMasks",
         p,
         changed,
         with([&](CompareOptions& o) {
             o.border = 7;
             o.ignored_pixels = padded_mask;
         }),
         kSettingsMessage},
        {"IgnoredBeforeScope",
         p,
         changed,
         with([&](CompareOptions& o) {
             o.ignored_pixels = padded_mask;
             o.direct_scope = padded_mask;
         }),
         kIgnoredMessage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(refusal([&] { compare_arrays(c.before, c.after, c.options); }), c.message);
    }
}

TEST(CompareArrays, LeavesItsInputsUntouchedAndReturnsNewArrays) {
    cv::Mat before = page(30, 40, kBlue);
    cv::Mat after = before.clone();
    fill(after, {5, 5, 20, 20}, kBlack);
    fill(after, {10, 10, 5, 5}, kBlue);
    CompareOptions options;
    options.ignored_pixels = cv::Mat::zeros(30, 40, CV_8U);
    options.ignored_pixels->at<uchar>(5, 5) = 1;
    options.direct_scope = cv::Mat::zeros(30, 40, CV_8U);
    (*options.direct_scope)(cv::Rect(0, 0, 20, 30)).setTo(1);
    const cv::Mat before_copy = before.clone(), after_copy = after.clone();
    const cv::Mat ignored_copy = options.ignored_pixels->clone(), scope_copy = options.direct_scope->clone();

    CompareResult r = compare_arrays(before, after, options);

    EXPECT_TRUE(same(before, before_copy));
    EXPECT_TRUE(same(after, after_copy));
    EXPECT_TRUE(same(*options.ignored_pixels, ignored_copy));
    EXPECT_TRUE(same(*options.direct_scope, scope_copy));
    // The padded pages are the pages inside a white margin.
    for (const auto& [padded, original] : {std::pair{&r.before_padded, &before}, std::pair{&r.after_padded, &after}}) {
        ASSERT_EQ(padded->size(), cv::Size(140, 130));
        EXPECT_TRUE(same((*padded)(cv::Rect(M, M, 40, 30)), *original));
        cv::Mat margin = padded->clone();
        fill(margin, {M, M, 40, 30}, kWhite);
        EXPECT_TRUE(same(margin, page(130, 140)));
        EXPECT_FALSE(padded->data >= original->datastart && padded->data < original->dataend);
    }
    // Writing into the results does not reach the inputs.
    r.result.setTo(cv::Scalar::all(7));
    r.after_padded.setTo(cv::Scalar::all(7));
    EXPECT_TRUE(same(after, after_copy));
}

// Without the padded pages (the page job asks for them only for its diagnostic images) the
// result image, the mask and the statistics stay the same.
TEST(CompareArrays, PaddedPagesOnlyWhenAsked) {
    const cv::Mat before = page(30, 40, kBlue);
    cv::Mat after = before.clone();
    fill(after, {5, 5, 20, 20}, kBlack);
    fill(after, {0, 29, 40, 1}, kBlack);  // a change along the page's edge
    CompareOptions options;
    const CompareResult padded = compare_arrays(before, after, options);
    options.padded_pages = false;
    const CompareResult plain = compare_arrays(before, after, options);
    EXPECT_TRUE(plain.before_padded.empty());
    EXPECT_TRUE(plain.after_padded.empty());
    EXPECT_TRUE(same(plain.result, padded.result));
    EXPECT_TRUE(same(plain.mask, padded.mask));
    EXPECT_EQ(plain.stats.to_json(), padded.stats.to_json());
}

}  // namespace
