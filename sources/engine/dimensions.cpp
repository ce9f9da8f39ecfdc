#include "engine/dimensions.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "common/errors.hpp"
#include "common/rounding.hpp"
#include "engine/limits.hpp"

namespace tesmira::engine {

std::pair<double, double> validate_dimensions(double width, double height, int dpi) {
    const double width_mm = width * 25.4 / 72;
    const double height_mm = height * 25.4 / 72;
    const std::string label = format_fixed(width_mm, 1) + "×" + format_fixed(height_mm, 1) + "mm";

    auto side_ok = [](double mm) { return std::isfinite(mm) && mm > 0; };
    if (!side_ok(width_mm) || !side_ok(height_mm) || std::max(width_mm, height_mm) > MAX_MM + 0.01)
        throw UserError("仕上がりサイズは" + label + "です。1辺3000mm以内にしてください。");

    const auto columns = static_cast<long long>(std::ceil(width * dpi / 72));
    const auto rows = static_cast<long long>(std::ceil(height * dpi / 72));
    const long long pixels = columns * rows;
    if (pixels > MAX_PIXELS)
        throw UserError(label + "・" + std::to_string(dpi) + "dpiでは約" + format_fixed(double(pixels) / 10000, 0) +
                        "万画素です。上限1億4000万画素を超えるため、解像度を下げてください。");
    return {width_mm, height_mm};
}

}  // namespace tesmira::engine
