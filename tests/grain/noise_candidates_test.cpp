#include "grain/noise_candidates.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/errors.hpp"

using tesmira::grain::noise_candidates;
using tesmira::grain::noise_window;

namespace {

constexpr int DPI = 144;  // a 9-pixel window
constexpr int SIZE = 40;

cv::Mat grey_page(int rows = SIZE, int cols = SIZE) { return cv::Mat(rows, cols, CV_8UC3, cv::Scalar(128, 128, 128)); }

cv::Mat full_scope(int rows = SIZE, int cols = SIZE) { return cv::Mat(rows, cols, CV_8U, cv::Scalar(255)); }

// Adds `amount` to channel `channel` of the pixel, as a rendering difference.
void shift(cv::Mat& page, int row, int col, int amount, int channel = 0) {
    page.at<cv::Vec3b>(row, col)[channel] = cv::saturate_cast<uchar>(page.at<cv::Vec3b>(row, col)[channel] + amount);
}

// +2 and -2 alternating like a checkerboard: what a dithered image renders as.
cv::Mat dithered(const cv::Mat& page) {
    cv::Mat out = page.clone();
    for (int r = 0; r < out.rows; ++r)
        for (int c = 0; c < out.cols; ++c) shift(out, r, c, (r + c) % 2 ? 2 : -2, 1);
    return out;
}

std::set<std::pair<int, int>> set_pixels(const cv::Mat& mask) {
    std::set<std::pair<int, int>> out;
    for (int r = 0; r < mask.rows; ++r)
        for (int c = 0; c < mask.cols; ++c)
            if (mask.at<uchar>(r, c)) out.insert({r, c});
    return out;
}

bool same_mask(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && a.type() == CV_8U && cv::countNonZero(a != b) == 0;
}

TEST(NoiseCandidates, DitherAveragesOutWhileAShiftDoesNot) {
    const cv::Mat before = grey_page();
    cv::Mat shifted = before.clone(), patch = before.clone();
    shifted += cv::Scalar(2, 0, 0);
    patch(cv::Rect(10, 10, 20, 20)) += cv::Scalar(0, 0, 2);
    cv::Mat centre = cv::Mat::zeros(SIZE, SIZE, CV_8U);
    centre(cv::Rect(5, 8, 20, 12)).setTo(1);  // any non-zero value is in scope

    struct Case {
        const char* name;
        cv::Mat after, scope, expected;
    };
    const Case cases[] = {
        {"dither in scope", dithered(before), full_scope(), full_scope()},
        {"dither, part in scope", dithered(before), centre, centre * 255},
        {"dither, empty scope", dithered(before), cv::Mat::zeros(SIZE, SIZE, CV_8U), cv::Mat::zeros(SIZE, SIZE, CV_8U)},
        {"uniform +2", shifted, full_scope(), cv::Mat::zeros(SIZE, SIZE, CV_8U)},
        {"+2 over a patch wider than the window", patch, full_scope(), cv::Mat::zeros(SIZE, SIZE, CV_8U)},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(same_mask(noise_candidates(before, c.after, c.scope, DPI), c.expected)) << c.name;
}

TEST(NoiseCandidates, DifferenceMustExceedTheToleranceAndStayWithinTwo) {
    const cv::Mat before = grey_page();
    cv::Mat after = before.clone();
    // Isolated pixels, far enough apart not to share a window.
    shift(after, 5, 5, 1);
    shift(after, 5, 20, 2, 2);
    shift(after, 20, 5, -2);
    shift(after, 20, 20, 3);
    const std::set<std::pair<int, int>> one{{5, 5}}, two{{5, 20}, {20, 5}};
    std::set<std::pair<int, int>> one_or_two = two;
    one_or_two.insert({5, 5});
    const std::pair<int, std::set<std::pair<int, int>>> cases[] = {{0, one_or_two}, {1, two}, {2, {}}, {3, {}}};
    for (const auto& [tolerance, expected] : cases)
        EXPECT_EQ(set_pixels(noise_candidates(before, after, full_scope(), DPI, tolerance)), expected)
            << "tolerance " << tolerance;
    EXPECT_EQ(set_pixels(noise_candidates(before, after, full_scope(), DPI)), two) << "default tolerance";
}

TEST(NoiseCandidates, StableMeansStayWithinHalfALevel) {
    // A +2 block around (12, 12), entirely inside its 9 x 9 window: 20 pixels average
    // 40/81 = 0.49, 21 pixels 42/81 = 0.52.
    for (const auto& [pixels, candidate] : {std::pair{20, true}, std::pair{21, false}}) {
        const cv::Mat before = grey_page();
        cv::Mat after = before.clone();
        for (int i = 0; i < pixels; ++i) shift(after, 10 + i / 5, 10 + i % 5, 2);
        const cv::Mat candidates = noise_candidates(before, after, full_scope(), DPI);
        EXPECT_EQ(candidates.at<uchar>(12, 12) != 0, candidate) << pixels << " pixels";
    }
}

TEST(NoiseCandidates, AChangeOutsideTheScopeUnsettlesTheScopeWithinHalfAWindow) {
    const cv::Mat before = grey_page();
    cv::Mat after = dithered(before);
    after.colRange(22, SIZE) += cv::Scalar(50, 0, 0);
    cv::Mat left = cv::Mat::zeros(SIZE, SIZE, CV_8U);
    left.colRange(0, 20).setTo(255);
    cv::Mat expected = cv::Mat::zeros(SIZE, SIZE, CV_8U);
    expected.colRange(0, 18).setTo(255);  // column 18's window reaches column 22
    EXPECT_TRUE(same_mask(noise_candidates(before, after, left, DPI), expected));
}

TEST(NoiseCandidates, MirrorsTheEdgeIncludingTheEdgePixel) {
    // Columns, the same in every row. Column 10 (+2 alone) averages to 2/9 and is a
    // candidate. At column 0 the mirrored window holds columns 3 2 1 0 0 1 2 3 4.
    struct Case {
        const char* name;
        int column1;
        std::set<int> expected;
    };
    const Case cases[] = {
        {"+2 beside +1: (2+2+1+1)/9 > 0.5", 1, {10}},
        {"+2 beside -1: (2+2-1-1)/9 <= 0.5", -1, {0, 10}},
    };
    for (const Case& c : cases) {
        const cv::Mat before = grey_page(20, 20);
        cv::Mat after = before.clone();
        for (int r = 0; r < 20; ++r) {
            shift(after, r, 0, 2);
            shift(after, r, 1, c.column1);
            shift(after, r, 10, 2);
        }
        const cv::Mat candidates = noise_candidates(before, after, full_scope(20, 20), DPI);
        std::set<int> columns;
        for (const auto& [r, col] : set_pixels(candidates)) columns.insert(col);
        EXPECT_EQ(columns, c.expected) << c.name;
        EXPECT_EQ(cv::countNonZero(candidates), int(c.expected.size()) * 20) << c.name;
    }
}

TEST(NoiseCandidates, RefusesPagesAndScopesOfOtherShapes) {
    struct Case {
        const char* name;
        cv::Mat before, after, scope;
    };
    const Case cases[] = {
        {"pages of other sizes", grey_page(), grey_page(SIZE, SIZE + 1), full_scope()},
        {"scope of another size", grey_page(), grey_page(), full_scope(SIZE + 1, SIZE)},
        {"four channels",
         cv::Mat(SIZE, SIZE, CV_8UC4, cv::Scalar::all(128)),
         cv::Mat(SIZE, SIZE, CV_8UC4, cv::Scalar::all(128)),
         full_scope()},
        {"three and four channels", grey_page(), cv::Mat(SIZE, SIZE, CV_8UC4, cv::Scalar::all(128)), full_scope()},
        {"grey pages",
         cv::Mat(SIZE, SIZE, CV_8U, cv::Scalar(128)),
         cv::Mat(SIZE, SIZE, CV_8U, cv::Scalar(128)),
         full_scope()},
    };
    for (const Case& c : cases) {
        try {
            noise_candidates(c.before, c.after, c.scope, DPI);
            ADD_FAILURE() << c.name << " was accepted";
        } catch (const tesmira::UserError& error) {
            EXPECT_STREQ(error.what(), "Noise scope dimensions differ") << c.name;
        }
    }
}

TEST(NoiseWindow, IsAboutOneAndAHalfMillimetresOddAndAtLeastThree) {
    const std::pair<int, int> cases[] = {{144, 9}, {200, 13}, {300, 19}, {72, 5}, {20, 3}};
    for (const auto& [dpi, window] : cases) EXPECT_EQ(noise_window(dpi), window) << dpi << " dpi";
}

}  // namespace
