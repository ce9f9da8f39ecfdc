#include "conductor/pair_validation.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "common/errors.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/temp_folder.hpp"

namespace fx = tesmira::fixtures;

namespace {

const std::string SIZES_DIFFER = "1ページ: 新旧の仕上がりサイズが異なります。自動拡大・縮小はしません。";

}  // namespace

TEST(PairValidation, RotateIsAWholeNumberOfDegreesModulo180) {
    // The old page lies 200 x 100; the new one stands 100 x 200 and matches only when turned.
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
        {"-90.5", ""},        // cut towards zero: -90
        {"44.6", ""},         // 44, no multiple of 180
        {"99999999999", ""},  // 99 modulo 180, beyond any int
        {"9223372036854775807", ""},
        {"360.9", SIZES_DIFFER},  // 360
        {"-180", SIZES_DIFFER},
        {"18000000000000000000.0", SIZES_DIFFER},                                     // exactly 10^17 turns
        {std::string(400, '9') + ".5", "could not convert /Rotate to an integer: "},  // infinite
        {"/R90", "could not convert /Rotate to an integer: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.token.substr(0, 30));
        fx::Page standing;
        standing.media = {0, 0, 100, 200};
        standing.rotate_token = c.token;
        const auto after = folder.path() / "after.pdf";
        fx::write_pdf(fx::many_pages(1, standing), after);
        std::string refusal;
        try {
            EXPECT_EQ(tesmira::conductor::validate_pair(before, after, {{"dpi", 144}}).pages, 1);
        } catch (const std::runtime_error& error) {
            refusal = error.what();
        }
        EXPECT_EQ(refusal.substr(0, c.refusal.size()), c.refusal);
        EXPECT_EQ(refusal.empty(), c.refusal.empty());
    }
}
