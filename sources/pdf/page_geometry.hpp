#pragma once
#include <qpdf/QPDFPageObjectHelper.hh>

#include "pdf/rect.hpp"

namespace tesmira::pdf {

// How a page is drawn, read in one way for the pair check, the renderer and the noise scope,
// so that a page they accept is drawn at the size they checked.
struct PageGeometry {
    // The part of the page that is compared: its trim box (falling back to the crop box, then
    // to the media box) within its media box, in default user space: what the renderer shows.
    Rect trim;
    // The page's /Rotate, inherited through the page tree, read as the renderer reads it: an
    // integer keeps its low 32 bits, a real is rounded half up in single precision (a real
    // beyond the range of int counts as 0), and the angle snaps to 0, 90, 180 or 270.
    int rotation = 0;
    // The trim size in points as the page is drawn: sides swapped for a quarter turn.
    double width = 0, height = 0;
};

// Reads the page's geometry. A /Rotate that is no number, or no finite one, fails with
// "could not convert /Rotate to an integer: " and the value as the file writes it.
PageGeometry page_geometry(QPDFPageObjectHelper& page);

}  // namespace tesmira::pdf
