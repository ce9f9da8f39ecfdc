#pragma once
#include "pdf/mupdf_document.hpp"

namespace tesmira::engine {

// A device in front of `target` that hands every image over at its full resolution.
// MuPDF's draw device would otherwise decode a strongly reduced image at a lower
// resolution, averaging neighbouring pixels into colours the page does not have.
// The returned device must be closed and dropped before `target`. Throws through MuPDF.
fz_device* new_sharp_image_device(fz_context* ctx, fz_device* target);

}  // namespace tesmira::engine
