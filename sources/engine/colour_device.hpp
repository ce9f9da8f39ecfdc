#pragma once
#include "pdf/mupdf_document.hpp"

namespace tesmira::engine {

class SharedDecodes;

// What the draw device behind the colour device draws into.
enum class DrawTarget {
    screen,  // RGB: CMYK colours take our conversion on their way
    plates,  // CMYK with every spot ink as a plate of its own: colours pass as they are
};

// A device in front of `target`, MuPDF's draw device drawing with the identity transform onto
// the pixels of `area`. It
// - on the screen, converts every colour that ends in CMYK, in fills, strokes, text, image
//   masks, images and shadings, with our conversion before `target` sees it; MuPDF's own would
//   saturate and lose every change among dark colours;
// - hands every image over at its full resolution, which MuPDF's draw device would
//   otherwise decode reduced, averaging neighbouring pixels into colours the page does not have;
// - drops whatever is painted in the colorant "None" alone, which never marks the page; MuPDF
//   would paint it with its alternate on the screen and as white on the plates.
// Other colours pass unchanged. With `decodes` it decodes images through them, so that another
// drawing of the page beside this one decodes each image once. While a PlainDrawing (plain_drawing.hpp) lives on this
// thread it returns `target` itself instead, under one more reference. The returned device must be closed and dropped
// before `target`. Throws through MuPDF.
fz_device* new_colour_device(fz_context* ctx, fz_device* target, fz_irect area, DrawTarget drawing,
                             SharedDecodes* decodes = nullptr);

}  // namespace tesmira::engine
