#pragma once
#include <vector>

#include "engine/ink_plates.hpp"
#include "pdf/mupdf_document.hpp"

namespace tesmira::engine {

// Draws the page, already cut to its trim box, as it prints: into C, M, Y, K and one plate per
// spot ink of `spots` (the page's, as survey_inks finds them), with overprint simulated as the PDF reference specifies
// (fills and text follow /op, strokes /OP, OPM 1 leaves the plates under zero CMYK components alone, Separation and
// DeviceN paint their own plates only, "All" paints every plate), whether or not the page's resources announce
// overprint. The page composites in CMYK whatever blending space its own group names; groups inside the page keep
// theirs. Throws MupdfError.
InkPlates draw_plates(const pdf::MupdfContext& mupdf, pdf_page* page, fz_matrix ctm, int columns, int rows,
                      std::vector<SpotInk> spots);

}  // namespace tesmira::engine
