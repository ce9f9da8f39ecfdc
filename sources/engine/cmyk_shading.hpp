#pragma once
#include "pdf/mupdf_document.hpp"

namespace tesmira::engine {

// Paints `shade`, whose colours end in CMYK, within `area` (device pixels) onto `target`:
// MuPDF shades it into CMYK, our conversion turns that into RGB, and `target` receives it as
// pixel-aligned RGB images with transparency where the shading does not reach, so the target's
// clipping, alpha and blending apply as to any image. Throws through MuPDF.
void fill_cmyk_shade(fz_context* ctx, fz_device* target, fz_shade* shade, fz_matrix ctm, float alpha,
                     fz_color_params cp, fz_irect area);

}  // namespace tesmira::engine
