#include "grain/image_only_scope.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/printing.hpp"
#include "fixtures/resource_editor.hpp"
#include "grain/page_objects.hpp"
#include "grain_pages.hpp"

namespace fx = tesmira::fixtures;
using namespace tesmira::grain;
using namespace tesmira::grain::testing;

namespace {

// The square image's box is (100, 100)-(300, 300); the margin of 2 pixels leaves this.
const cv::Rect SQUARE_SCOPE(102, 102, 196, 196);

cv::Mat filled(const std::vector<cv::Rect>& areas) {
    cv::Mat mask = cv::Mat::zeros(SIDE, SIDE, CV_8U);
    for (const cv::Rect& r : areas) mask(r).setTo(255);
    return mask;
}

cv::Mat without(cv::Mat mask, const cv::Rect& area) {
    mask(area).setTo(0);
    return mask;
}

bool same_mask(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && a.type() == b.type() && cv::countNonZero(a != b) == 0;
}

class ImageOnlyScope : public ::testing::Test {
protected:
    fx::TempFolder folder;

    NoiseScope scope_of(const fx::Page& before, const fx::Page& after) {
        return image_only_scope(
            write_page(folder, "before.pdf", before), write_page(folder, "after.pdf", after), 1, SIDE, SIDE, DPI);
    }
};

TEST_F(ImageOnlyScope, KeepsOnlyImagesPlacedAloneAndIdenticallyOnBothPages) {
    struct Case {
        const char* name;
        fx::Page before, after;
        int matched;
        cv::Mat expected;
    };
    const fx::Page square = image_page(square_image());
    fx::Page other_pixels = page_with(square_image());
    other_pixels.images.push_back(fx::solid_image(8, 8, {200, 10, 10}));
    fx::Page twice = image_page(square_image() + square_image());
    const Case cases[] = {
        {"no images",
         page_with(fx::fill_rect({50, 50, 150, 150}, 0, 0, 0)),
         page_with(fx::fill_rect({50, 50, 150, 150}, 0, 0, 0)),
         0,
         filled({})},
        {"same placement", square, square, 1, filled({SQUARE_SCOPE})},
        {"same placement, other pixels", square, other_pixels, 1, filled({SQUARE_SCOPE})},
        {"moved by a thousandth", square, image_page(square_image(50.001)), 0, filled({})},
        {"moved below a thousandth", square, image_page(square_image(50.0004)), 1, filled({SQUARE_SCOPE})},
        {"resized by a thousandth", square, image_page(fx::draw_image(0, 100, 0, 0, 100.001, 50, 50)), 0, filled({})},
        {"placed twice on the old page", twice, square, 0, filled({})},
        {"placed twice on the new page", square, twice, 0, filled({})},
        {"turned a quarter on both",
         image_page(fx::draw_image(0, 0, 100, -100, 0, 150, 50)),
         image_page(fx::draw_image(0, 0, 100, -100, 0, 150, 50)),
         0,
         filled({})},
        // 2 pt is 4 pixels, nothing once the margin is taken from both sides; 2.5 pt leaves one column.
        {"too narrow",
         image_page(fx::draw_image(0, 2, 0, 0, 100, 50, 50)),
         image_page(fx::draw_image(0, 2, 0, 0, 100, 50, 50)),
         0,
         filled({})},
        {"just wide enough",
         image_page(fx::draw_image(0, 2.5, 0, 0, 100, 50, 50)),
         image_page(fx::draw_image(0, 2.5, 0, 0, 100, 50, 50)),
         1,
         filled({{102, 102, 1, 196}})},
        {"covered by a path painted beneath",
         image_page(fx::fill_rect({0, 0, 200, 200}, 1, 1, 0) + square_image()),
         image_page(fx::fill_rect({0, 0, 200, 200}, 1, 1, 0) + square_image()),
         1,
         filled({})},
        // A 0-width line has a 0-width box at x = 200 px; the margin makes it 4 columns.
        {"hairline across",
         image_page(square_image() + fx::stroke_line(100, 20, 100, 180, 0)),
         image_page(square_image() + fx::stroke_line(100, 20, 100, 180, 0)),
         1,
         without(filled({SQUARE_SCOPE}), {198, 102, 4, 196})},
        // (60, 60)-(70, 70) pt is (120, 260)-(140, 280) px.
        {"path on the new page only",
         square,
         image_page(square_image() + fx::fill_rect({60, 60, 70, 70}, 1, 0, 0)),
         1,
         without(filled({SQUARE_SCOPE}), {118, 258, 24, 24})},
    };
    for (const Case& c : cases) {
        const NoiseScope scope = scope_of(c.before, c.after);
        EXPECT_TRUE(same_mask(scope.mask, c.expected)) << c.name;
        EXPECT_EQ(scope.stats.matched_images, c.matched) << c.name;
        EXPECT_EQ(scope.stats.eligible_pixels, cv::countNonZero(c.expected)) << c.name;
        EXPECT_EQ(scope.stats.fallback, std::nullopt) << c.name;
    }
}

TEST_F(ImageOnlyScope, TextOverAnImageTakesItsBoxAndTheMargin) {
    const fx::Page page = image_page(square_image() + fx::text(70, 90, 12, "Hello"));
    const NoiseScope scope = scope_of(page, page);
    const std::vector<PageObjectRecord> objects = page_objects(folder.path() / "before.pdf", 1, SIDE, SIDE);
    ASSERT_EQ(objects.size(), 2u);
    const auto [x0, y0, x1, y1] = objects[1].box;
    ASSERT_TRUE(SQUARE_SCOPE.contains({x0, y0}) && SQUARE_SCOPE.contains({x1, y1}));

    EXPECT_TRUE(same_mask(scope.mask, without(filled({SQUARE_SCOPE}), {x0 - 2, y0 - 2, x1 - x0 + 4, y1 - y0 + 4})));
    EXPECT_EQ(scope.stats.matched_images, 1);
}

TEST_F(ImageOnlyScope, ObjectsCutItOnlyWhereThePagePrintsThem) {
    // Text over the image, in a layer that prints or not: only what prints is on the page.
    const fx::Page page = image_page(square_image() + fx::in_layer(fx::text(70, 90, 12, "Hello")));
    for (const bool prints : {false, true}) {
        for (const char* name : {"before.pdf", "after.pdf"}) {
            const auto path = write_page(folder, name, page);
            fx::ResourceEditor editor(path);
            fx::add_layer(editor, fx::Layer{.on = !prints, .prints = prints});
            editor.save();
        }
        const NoiseScope scope =
            image_only_scope(folder.path() / "before.pdf", folder.path() / "after.pdf", 1, SIDE, SIDE, DPI);
        EXPECT_EQ(scope.stats.matched_images, 1) << prints;
        EXPECT_EQ(scope.stats.eligible_pixels < cv::countNonZero(filled({SQUARE_SCOPE})), prints) << prints;
    }
}

TEST_F(ImageOnlyScope, OverlappingCutsClearTheirUnion) {
    // Two rectangles over the square image, overlapping each other, each cut with the margin.
    const fx::Page page = image_page(square_image() + fx::fill_rect({60, 60, 90, 80}, 0, 0, 0) +
                                     fx::fill_rect({80, 70, 120, 110}, 0, 0, 0));
    const NoiseScope scope = scope_of(page, page);
    cv::Mat expected = filled({SQUARE_SCOPE});
    expected = without(expected, {120 - 2, 240 - 2, 60 + 4, 40 + 4});  // (60, 60)-(90, 80) in pixels, y down
    expected = without(expected, {160 - 2, 180 - 2, 80 + 4, 80 + 4});  // (80, 70)-(120, 110)
    EXPECT_TRUE(same_mask(scope.mask, expected));
    EXPECT_EQ(scope.stats.matched_images, 1);
}

TEST_F(ImageOnlyScope, ThousandsOfImagesOverOneAnotherAreAllCut) {
    // 1999 whole-page placements, each its own image, on a grid of 1600 x 1600 pixels: every
    // one is cut by all the others, so nothing is left. (Its time: bench/image_scope_bench.)
    std::string content;
    for (int i = 0; i < 1999; ++i) content += fx::draw_image(0, 200, 0, 0, 200, i * 0.001, 0);
    const std::filesystem::path path = write_page(folder, "crowded.pdf", image_page(content));
    const NoiseScope scope = image_only_scope(path, path, 1, 1600, 1600, DPI);
    EXPECT_EQ(scope.stats.matched_images, 1999);
    EXPECT_EQ(scope.stats.eligible_pixels, 0);
}

TEST_F(ImageOnlyScope, ReportsThePageThatCannotBeAnalysedAndKeepsNothing) {
    struct Case {
        const char* name;
        fx::Page before, after;
        std::string fallback;
    };
    const fx::Page square = image_page(square_image());
    const fx::Page clipped = image_page("q 0 0 10 10 re W n Q " + square_image());
    fx::Page rotated = square;
    rotated.rotate = 90;
    std::string crowded = square_image();
    for (int i = 0; i < 2000; ++i) crowded += "0 0 1 1 re f\n";
    const Case cases[] = {
        {"clip on the old page", clipped, square, "クリッピングのあるページは軽減対象外です。"},
        {"rotation on the new page", square, rotated, "回転ページは軽減対象外です。"},
        {"old page refused first", rotated, clipped, "回転ページは軽減対象外です。"},
        {"too many objects", image_page(crowded), square, "オブジェクト数が多いため厳密比較に戻します。"},
    };
    for (const Case& c : cases) {
        const NoiseScope scope = scope_of(c.before, c.after);
        EXPECT_EQ(cv::countNonZero(scope.mask), 0) << c.name;
        EXPECT_EQ(scope.stats.to_json(),
                  (tesmira::Json{{"matched_images", 0}, {"eligible_pixels", 0}, {"fallback", c.fallback}}))
            << c.name;
    }
}

TEST_F(ImageOnlyScope, LibraryErrorsFallBackWithTheirText) {
    const fx::Page square = image_page(square_image());
    const std::filesystem::path before = write_page(folder, "before.pdf", square);
    const NoiseScope missing = image_only_scope(before, folder.path() / "missing.pdf", 1, SIDE, SIDE, DPI);
    EXPECT_EQ(cv::countNonZero(missing.mask), 0);
    ASSERT_TRUE(missing.stats.fallback);
    EXPECT_NE(missing.stats.fallback->find("missing.pdf"), std::string::npos) << *missing.stats.fallback;

    const NoiseScope no_page = image_only_scope(before, before, 2, SIDE, SIDE, DPI);
    EXPECT_TRUE(no_page.stats.fallback);
    EXPECT_EQ(no_page.stats.matched_images, 0);
}

TEST(ImageOnlyScopeStats, SerialiseInTheirOrderWithNullForNoFallback) {
    NoiseScopeStats stats;
    stats.matched_images = 2;
    stats.eligible_pixels = 1234;
    EXPECT_EQ(stats.to_json().dump(), R"({"matched_images":2,"eligible_pixels":1234,"fallback":null})");
}

TEST(NoisePad, IsAFifteenthOfAMillimetreRoundedUpAndAtLeastTwo) {
    const std::pair<int, int> cases[] = {{144, 2}, {200, 2}, {300, 2}, {338, 2}, {339, 3}, {600, 4}};
    for (const auto& [dpi, pad] : cases) EXPECT_EQ(noise_pad(dpi), pad) << dpi << " dpi";
}

}  // namespace
