#pragma once
#include <qpdf/QPDFPageObjectHelper.hh>

namespace tesmira::pdf {

// A rectangle in PDF points, normalised (x0 <= x1, y0 <= y1).
struct Rect {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    double width() const { return x1 - x0; }
    double height() const { return y1 - y0; }
};

// The part of a page that is compared: its trim box (falling back to the crop box, then
// to the media box) within its media box, in default user space.
Rect trimmed_box(QPDFPageObjectHelper& page);

// The page's /Rotate, inherited through the page tree, snapped to 0, 90, 180 or 270
// the way the renderer snaps it.
int display_rotation(QPDFPageObjectHelper& page);

}  // namespace tesmira::pdf
