#pragma once

namespace tesmira::pdf {

// A rectangle in PDF points, normalised (x0 <= x1, y0 <= y1).
struct Rect {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    double width() const { return x1 - x0; }
    double height() const { return y1 - y0; }
};

}  // namespace tesmira::pdf
