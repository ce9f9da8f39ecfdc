#pragma once
#include "pdf/mupdf_document.hpp"

namespace tesmira::engine {

// The space that the Indexed space `cs` indexes; any other space itself.
fz_colorspace* without_index(fz_context* ctx, fz_colorspace* cs);

// The CMYK space a colour in `cs` ends in: `cs` itself, or the base of an Indexed,
// Separation or DeviceN space. Null for colours that do not end in CMYK.
fz_colorspace* cmyk_behind(fz_context* ctx, fz_colorspace* cs);

// `colour` in `cs` converted with our CMYK conversion, as MuPDF RGB floats that MuPDF's draw
// device turns back into exactly our bytes. False, with `rgb` untouched, when `cs` does not
// end in CMYK. Throws through MuPDF.
bool rgb_of_cmyk_colour(fz_context* ctx, fz_colorspace* cs, const float* colour, fz_color_params cp, float rgb[3]);

// A new RGB pixmap, alpha kept, when the colours of `pixmap` end in CMYK; else null.
// Throws through MuPDF.
fz_pixmap* rgb_from_cmyk_pixmap(fz_context* ctx, fz_pixmap* pixmap, fz_color_params cp);

}  // namespace tesmira::engine
