#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>

#include "common/errors.hpp"
#include "engine/dimensions.hpp"
#include "fixtures/refusal.hpp"

using tesmira::UserError;
using tesmira::engine::validate_dimensions;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

std::string side_message(const std::string& label) {
    return "仕上がりサイズは" + label + "です。1辺3000mm以内にしてください。";
}

std::string pixel_message(const std::string& label_and_dpi, const std::string& count) {
    return label_and_dpi + "dpiでは約" + count + "万画素です。上限1億4000万画素を超えるため、解像度を下げてください。";
}

struct DimensionCase {
    const char* name;
    double width, height;
    int dpi;
    std::optional<std::string> refusal;  // absent: accepted
};

class ValidateDimensions : public testing::TestWithParam<DimensionCase> {};

TEST_P(ValidateDimensions, AcceptsOrRefusesWithTheExactMessage) {
    const DimensionCase& c = GetParam();
    if (!c.refusal) {
        const auto [w_mm, h_mm] = validate_dimensions(c.width, c.height, c.dpi);
        EXPECT_NEAR(w_mm, c.width * 25.4 / 72, 1e-9);
        EXPECT_NEAR(h_mm, c.height * 25.4 / 72, 1e-9);
        return;
    }
    EXPECT_EQ(tesmira::fixtures::refusal([&] { validate_dimensions(c.width, c.height, c.dpi); }), *c.refusal);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ValidateDimensions,
    testing::Values(
        DimensionCase{"A4At300", 595.276, 841.89, 300, std::nullopt},
        DimensionCase{"Large300", 2880, 2880, 300, pixel_message("1016.0×1016.0mm・300", "14400")},
        DimensionCase{"Large144", 2880, 2880, 144, std::nullopt},
        // 10,000 × 14,000 pixels: exactly the limit.
        DimensionCase{"ExactPixelLimit", 2400, 3360, 300, std::nullopt},
        // 5,000 × 28,001 = 140,005,000 pixels; 14000.5 rounds to the even 14000.
        DimensionCase{"PixelCountHalfToEven", 1200, 6720.2, 300, pixel_message("423.3×2370.7mm・300", "14000")},
        // Each side is rounded up to a whole pixel before the product: 10,001 × 14,000
        // and 10,000 × 14,001 pixels.
        DimensionCase{"PartialColumnRoundsUp", 2400.01, 3360, 300, pixel_message("846.7×1185.3mm・300", "14001")},
        DimensionCase{"PartialRowRoundsUp", 2400, 3360.01, 300, pixel_message("846.7×1185.3mm・300", "14001")},
        DimensionCase{"PixelMessageCarriesDpi", 4320, 4320, 200, pixel_message("1524.0×1524.0mm・200", "14400")},
        DimensionCase{"JustUnderSideLimit", 8503.94, 100, 300, std::nullopt},
        DimensionCase{"WidthOverSideLimit", 8504.36, 100, 300, side_message("3000.1×35.3mm")},
        DimensionCase{"HeightOverSideLimit", 100, 8504.36, 300, side_message("35.3×3000.1mm")},
        // Too long and too many pixels: the side is reported.
        DimensionCase{"SideCheckedBeforePixels", 8504.36, 8504.36, 300, side_message("3000.1×3000.1mm")},
        DimensionCase{"ZeroWidth", 0, 841.89, 300, side_message("0.0×297.0mm")},
        DimensionCase{"ZeroHeight", 595.276, 0, 300, side_message("210.0×0.0mm")},
        DimensionCase{"NegativeWidth", -72, 841.89, 300, side_message("-25.4×297.0mm")},
        DimensionCase{"InfiniteWidth", kInf, 100, 300, side_message("inf×35.3mm")},
        DimensionCase{"NegativeInfiniteHeight", 100, -kInf, 300, side_message("35.3×-infmm")},
        DimensionCase{"NanHeight", 595.276, kNan, 300, side_message("210.0×nanmm")},
        DimensionCase{"NegativeNanWidth", -kNan, 100, 144, side_message("nan×35.3mm")}),
    [](const testing::TestParamInfo<DimensionCase>& info) { return std::string(info.param.name); });

TEST(ValidateDimensionsResult, IsUnroundedMillimetres) {
    const auto [w_mm, h_mm] = validate_dimensions(595.276, 841.89, 300);
    EXPECT_NEAR(w_mm, 210.000144, 1e-6);
    EXPECT_NEAR(h_mm, 297.000083, 1e-6);
}

}  // namespace
