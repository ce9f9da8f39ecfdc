#pragma once
#include <filesystem>

#include "fixtures/pdf_builder.hpp"

namespace tesmira::bench {

// A realistic A4 catalogue page: a header band, text lines, vector rules and a coloured
// box, and a large raster photo. `changed` adds a price change, a moved rule, a stray dot
// and a retouched patch in the photo; `photo_size` is the photo's width in pixels.
fixtures::Page catalogue_page(int number, bool changed, int photo_size = 1500);

// The same catalogue page made for the press: a rich-black header with knocked-out title,
// black text that overprints, a box and a rule in one spot ink and a box in another, a CMYK
// photo with yellow text overprinting it. `changed` adds a price change, a moved spot rule, a
// stray dot, a paler spot box and a retouched patch. Its spot inks and graphics state are
// added to every page of the written file by add_press_resources.
fixtures::Page press_catalogue_page(int number, bool changed, int photo_size = 1500);
void add_press_resources(const std::filesystem::path& pdf);

// Stores every page's photo as a JPEG of `quality`, as photos come in print PDFs.
void use_jpeg_photos(const std::filesystem::path& pdf, int quality = 85);

}  // namespace tesmira::bench
