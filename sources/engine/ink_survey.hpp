#pragma once
#include <stdexcept>
#include <vector>

#include "engine/ink_plates.hpp"
#include "pdf/mupdf_document.hpp"

namespace tesmira::engine {

// The most spot inks a page is drawn with as plates of their own: MuPDF's pixmaps hold at most
// 32 components, and a group's pixmap holds C, M, Y, K and alpha beside them. Further spot inks
// are drawn through their alternates into the process plates.
inline constexpr int MAX_SPOT_PLATES = FZ_MAX_COLORS - 5;

// What a page puts on the press beyond its screen colours.
struct InkSurvey {
    // Something outside a soft mask's definition is painted in a CMYK space, a Separation or
    // DeviceN space, or blended in a CMYK group: the page's print is more than its RGB rendering
    // can show. Pages with grey, RGB and Lab colours alone print as they look.
    bool press = false;
    // Every spot ink painted on the page, in the order first painted (the process inks, "All"
    // and "None" are not spot inks), with how each tint of it shows.
    std::vector<SpotInk> spots;
};

// A page that would draw more than MAX_DRAWN_OBJECTS objects.
class TooMuchDrawing : public std::runtime_error {
public:
    TooMuchDrawing() : std::runtime_error("more than MAX_DRAWN_OBJECTS objects drawn") {}
};

// Whether `cs` is a Separation or DeviceN space (or an Indexed space over one) whose colorants
// are all "None": what is painted in it never marks any plate. Throws through MuPDF.
bool never_marks(fz_context* ctx, fz_colorspace* cs);

// Runs the page through a device that draws nothing and notes its colour spaces, the glyph
// programs of Type 3 fonts included, and counts what it draws. Throws TooMuchDrawing, or
// MupdfError, or TerminationRequested once SIGTERM has arrived.
InkSurvey survey_inks(const pdf::MupdfContext& mupdf, pdf_page* page, fz_matrix ctm);

}  // namespace tesmira::engine
