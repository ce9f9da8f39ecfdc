#pragma once
#include "pdf/mupdf_document.hpp"

namespace tesmira::grain {

// The area that stroking `path` with `stroke` under `ctm` paints: every point of the path
// widened by half the line width, plus the tips of mitred corners. MuPDF's fz_bound_path
// widens by the full width times the miter limit, which would make an ordinary rule next
// to an image cut ten line widths out of it. A hairline (width 0) gets the bare path
// bounds. Never throws.
fz_rect stroke_bounds(fz_context* ctx, const fz_path* path, const fz_stroke_state* stroke, fz_matrix ctm);

}  // namespace tesmira::grain
