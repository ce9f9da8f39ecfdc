#pragma once
#include <qpdf/QPDFPageObjectHelper.hh>

#include "pdf/rect.hpp"

namespace tesmira::pdf {

// The part of a page that is compared: its trim box (falling back to the crop box, then
// to the media box) within its media box, in default user space.
Rect trimmed_box(QPDFPageObjectHelper& page);

// The page's /Rotate, inherited through the page tree, snapped to 0, 90, 180 or 270
// the way the renderer snaps it.
int display_rotation(QPDFPageObjectHelper& page);

}  // namespace tesmira::pdf
