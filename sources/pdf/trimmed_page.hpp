#pragma once
#include <filesystem>

#include "pdf/mupdf_document.hpp"
#include "pdf/rect.hpp"

namespace tesmira::pdf {

// Opens the file into `doc` and loads page `page_number` (from 1) cut to `trim` (its
// trimmed_box), in memory only: MuPDF's page space then starts at the trim box's top left, in
// the page's display orientation, and whatever runs the page sees just the trimmed page.
// Refuses (UserError) a file that needs a password.
PdfPage load_trimmed_page(const MupdfContext& mupdf, PdfDocument& doc, const std::filesystem::path& path,
                          int page_number, const Rect& trim);

}  // namespace tesmira::pdf
