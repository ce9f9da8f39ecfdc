#pragma once
#include "pdf/mupdf_document.hpp"

namespace tesmira::engine {

// A device in front of `target`, MuPDF's draw device drawing into RGB with the identity
// transform onto the pixels of `area`. It
// - converts every colour that ends in CMYK, in fills, strokes, text, image masks, images
//   and shadings, with our conversion before `target` sees it; MuPDF's own would saturate
//   and lose every change among dark colours;
// - hands every image over at its full resolution, which MuPDF's draw device would
//   otherwise decode reduced, averaging neighbouring pixels into colours the page does not have.
// Other colours pass unchanged. While a PlainDrawing (plain_drawing.hpp) lives on this thread
// it returns `target` itself instead, under one more reference. The returned device must be
// closed and dropped before `target`. Throws through MuPDF.
fz_device* new_colour_device(fz_context* ctx, fz_device* target, fz_irect area);

}  // namespace tesmira::engine
