#pragma once
#include "pdf/mupdf_document.hpp"

namespace tesmira::engine {

// A device in front of `target`, MuPDF's draw device, on screen or on the plates. It
// - hands every image over at its full resolution, which MuPDF's draw device would otherwise
//   decode reduced, averaging neighbouring pixels into colours the page does not have;
// - drops whatever is painted in the colorant "None" alone, which never marks the page; MuPDF
//   would paint it as white on the plates.
// Everything else passes unchanged. While a PlainDrawing (plain_drawing.hpp) lives on this thread
// it returns `target` itself instead, under one more reference. The returned device must be
// closed and dropped before `target`. Throws through MuPDF.
fz_device* new_colour_device(fz_context* ctx, fz_device* target);

}  // namespace tesmira::engine
