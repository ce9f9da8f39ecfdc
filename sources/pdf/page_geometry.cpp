#include "pdf/page_geometry.hpp"

#include <algorithm>

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
    if (!rotate.isNumber()) return 0;
    int degrees = int(rotate.getNumericValue());
    if (degrees < 0) degrees = 360 - ((-degrees) % 360);
    if (degrees >= 360) degrees %= 360;
    degrees = 90 * ((degrees + 45) / 90);
    return degrees >= 360 ? 0 : degrees;
}

}  // namespace tesmira::pdf
