#include "pdf/page_geometry.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

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

Rect trimmed_box(QPDFPageObjectHelper& page) {
    return intersect(normalised(page.getTrimBox().getArrayAsRectangle()),
                     normalised(page.getMediaBox().getArrayAsRectangle()));
}

// The whole degrees of /Rotate as the renderer takes them.
long long rotation_degrees(QPDFObjectHandle rotate) {
    if (rotate.isNull()) return 0;
    if (rotate.isInteger()) return static_cast<int>(rotate.getIntValue());  // the low 32 bits
    if (!rotate.isReal() || !std::isfinite(rotate.getNumericValue()))
        throw std::runtime_error("could not convert /Rotate to an integer: " + rotate.unparse());
    // The renderer defines no value for a real beyond the range of int: it counts as none.
    const double value = rotate.getNumericValue();
    if (!(std::abs(value) < 2147483648.0)) return 0;
    const float rounded = static_cast<float>(value) + 0.5f;
    if (!(rounded >= -2147483648.0f && rounded < 2147483648.0f)) return 0;
    return static_cast<int>(rounded);
}

int display_rotation(QPDFPageObjectHelper& page) {
    long long degrees = rotation_degrees(page.getAttribute("/Rotate", false));
    // In 64 bits, where the lowest int can be negated.
    if (degrees < 0) degrees = 360 - ((-degrees) % 360);
    if (degrees >= 360) degrees %= 360;
    degrees = 90 * ((degrees + 45) / 90);
    return degrees >= 360 ? 0 : int(degrees);
}

}  // namespace

PageGeometry page_geometry(QPDFPageObjectHelper& page) {
    PageGeometry geometry;
    geometry.trim = trimmed_box(page);
    geometry.rotation = display_rotation(page);
    geometry.width = geometry.trim.width();
    geometry.height = geometry.trim.height();
    if (geometry.rotation == 90 || geometry.rotation == 270) std::swap(geometry.width, geometry.height);
    return geometry;
}

}  // namespace tesmira::pdf
