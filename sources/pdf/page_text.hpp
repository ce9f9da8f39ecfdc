#pragma once
#include <filesystem>
#include <vector>

#include "pdf/rect.hpp"

namespace tesmira::pdf {

// One character of a page's text: its code point (U+FFFD where the font maps its glyph to no
// character) and the bounds of its quad, in points from the trimmed page's top left, y down,
// in the page's display orientation: pixel (x, y) of the page drawn at `dpi` lies at
// (x, y) * 72 / dpi.
struct TextCharacter {
    char32_t code = 0;
    Rect box;
};

// The characters on one baseline, in the order the page writes them, and their bounds.
struct TextLine {
    std::vector<TextCharacter> characters;
    Rect box;
};

// MuPDF's structured text of page `page_number` (from 1) cut to its trim box, as it is drawn:
// its lines, block after block as MuPDF finds them; characters wholly outside the trim box are
// left out. SIGTERM stops it (TerminationRequested). Refuses what opening the page refuses;
// MuPDF's failures are MupdfError, qpdf's its own.
std::vector<TextLine> page_text(const std::filesystem::path& path, int page_number);

}  // namespace tesmira::pdf
