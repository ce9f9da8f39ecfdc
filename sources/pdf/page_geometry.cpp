#include "pdf/page_geometry.hpp"

#include <algorithm>
#include <cmath>

namespace tesmira::pdf {
namespace {

Rect normalised(const QPDFObjectHandle::Rectangle& r) {
    return {std::min(r.llx, r.urx), std::min(r.lly, r.ury), std::max(r.llx, r.urx), std::max(r.lly, r.ury)};
}

Rect intersect(const Rect& a, const Rect& b) {
    Rect r{std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
    if (r.x1 < r.x0) r.x1 = r.x0;
    if (r.y1 < r.y0) r.y1 = r.y0;
    return r;
}

}  // namespace

Rect trimmed_box(QPDFPageObjectHelper& page) {
    return intersect(normalised(page.getTrimBox().getArrayAsRectangle()),
                     normalised(page.getMediaBox().getArrayAsRectangle()));
}

int display_rotation(QPDFPageObjectHelper& page) {
    QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
    // The renderer's reading of the value: an integer keeps its low 32 bits, a real is
    // rounded half up in single precision. A real beyond the range of int, for which the
    // renderer defines no value, counts as no rotation.
    long long degrees = 0;
    if (rotate.isInteger()) {
        degrees = static_cast<int>(rotate.getIntValue());
    } else if (rotate.isReal()) {
        const double value = rotate.getNumericValue();
        if (!(std::abs(value) < 2147483648.0)) return 0;
        const float rounded = static_cast<float>(value) + 0.5f;
        if (!(rounded >= -2147483648.0f && rounded < 2147483648.0f)) return 0;
        degrees = static_cast<int>(rounded);
    }
    // In 64 bits, where the lowest int can be negated.
    if (degrees < 0) degrees = 360 - ((-degrees) % 360);
    if (degrees >= 360) degrees %= 360;
    degrees = 90 * ((degrees + 45) / 90);
    return degrees >= 360 ? 0 : int(degrees);
}

}  // namespace tesmira::pdf
