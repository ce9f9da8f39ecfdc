#include "conductor/pair_validation.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "common/errors.hpp"
#include "engine/render.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/temp_folder.hpp"

namespace fx = tesmira::fixtures;

namespace {

const std::string SIZES_DIFFER = "1ページ: 新旧の仕上がりサイズが異なります。自動拡大・縮小はしません。";

}  // namespace

TEST(PairValidation, RotateIsReadAsTheRendererDrawsThePage) {
    // The old page lies 200 x 100; the new one stands 100 x 200 and matches only when turned.
    // The pair check takes /Rotate exactly as the renderer does, so a pair it accepts is drawn
    // at the size it checked, and a /Rotate it cannot read the renderer refuses alike.
    fx::TempFolder folder;
    fx::Page lying;
    lying.media = {0, 0, 200, 100};
    const auto before = folder.path() / "before.pdf";
    fx::write_pdf(fx::many_pages(1, lying), before);
    struct Case {
        std::string token;
        std::string refusal;  // "" when the pair passes
    } cases[] = {
        {"90", ""},
        {"-90.5", ""},                          // rounded half up: -90
        {"44.6", ""},                           // 45, which snaps to 90
        {"44.4", SIZES_DIFFER},                 // 44, which snaps to 0
        {"99999999999", SIZES_DIFFER},          // low 32 bits 1215752191: 151, which snaps to 180
        {"2147483648", ""},                     // the lowest int: 128 below 360, which snaps to 270
        {"9223372036854775807", SIZES_DIFFER},  // low 32 bits -1, which snaps to 0
        {"360.9", SIZES_DIFFER},                // 361
        {"-180", SIZES_DIFFER},
        {"18000000000000000000.0", SIZES_DIFFER},                                     // a real beyond int: none
        {std::string(400, '9') + ".5", "could not convert /Rotate to an integer: "},  // infinite
        {"/R90", "could not convert /Rotate to an integer: "},
    };
    const auto refusal_of = [](const std::function<void()>& call) {
        try {
            call();
        } catch (const std::runtime_error& error) {
            return std::string(error.what());
        }
        return std::string();
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.token.substr(0, 30));
        fx::Page standing;
        standing.media = {0, 0, 100, 200};
        standing.rotate_token = c.token;
        const auto after = folder.path() / "after.pdf";
        fx::write_pdf(fx::many_pages(1, standing), after);
        const std::string refusal = refusal_of([&] {
            EXPECT_EQ(tesmira::conductor::validate_pair(before, after, {{"dpi", 144}}).pages, 1);
        });
        EXPECT_EQ(refusal.substr(0, c.refusal.size()), c.refusal);
        EXPECT_EQ(refusal.empty(), c.refusal.empty());

        bool drawn_lying = false;
        const std::string drawing_refusal = refusal_of([&] {
            const auto drawn = tesmira::engine::render_pdf(after, 1, 144);
            drawn_lying = drawn.pixels.cols > drawn.pixels.rows;
        });
        if (drawing_refusal.empty())
            EXPECT_EQ(refusal.empty(), drawn_lying) << "accepted exactly when drawn as the old page lies";
        else
            EXPECT_EQ(drawing_refusal, refusal) << "one message for one fault";
    }
}

TEST(PairValidation, TheTrimBoxCountsWithinTheMediaBoxAsDrawn) {
    // A trim box reaching beyond the media box is checked at the size the renderer draws; one
    // wholly outside it is refused with the renderer's size message, naming the page.
    fx::TempFolder folder;
    fx::Page plain;
    plain.media = {0, 0, 200, 100};
    const auto after = folder.path() / "after.pdf";
    fx::write_pdf(fx::many_pages(1, plain), after);
    fx::Page beyond = plain;
    beyond.trim = fx::Rect{-50, -50, 250, 150};
    const auto before = folder.path() / "before.pdf";
    fx::write_pdf(fx::many_pages(1, beyond), before);
    const auto valid = tesmira::conductor::validate_pair(before, after, {{"dpi", 144}});
    const auto drawn = tesmira::engine::render_pdf(before, 1, 144);
    EXPECT_EQ(valid.page_pixels, std::vector<long long>{(long long)drawn.pixels.total()});

    fx::Page outside = plain;
    outside.trim = fx::Rect{300, 0, 400, 100};
    fx::write_pdf(fx::many_pages(1, outside), before);
    std::string drawing_refusal;
    try {
        tesmira::engine::render_pdf(before, 1, 144);
    } catch (const tesmira::UserError& error) {
        drawing_refusal = error.what();
    }
    EXPECT_EQ(drawing_refusal, "仕上がりサイズは0.0×35.3mmです。1辺3000mm以内にしてください。");
    try {
        tesmira::conductor::validate_pair(before, after, {{"dpi", 144}});
        ADD_FAILURE() << "accepted";
    } catch (const tesmira::UserError& error) {
        EXPECT_EQ(std::string(error.what()), "1ページ: " + drawing_refusal);
    }
}
