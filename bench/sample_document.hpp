#pragma once
#include "fixtures/pdf_builder.hpp"

namespace tesmira::bench {

// A realistic A4 catalogue page: a header band, text lines, vector rules and a coloured
// box, and a large raster photo. `changed` adds a price change, a moved rule, a stray dot
// and a retouched patch in the photo; `photo_size` is the photo's width in pixels.
fixtures::Page catalogue_page(int number, bool changed, int photo_size = 1500);

}  // namespace tesmira::bench
