#pragma once
#include "pdf/mupdf_document.hpp"

namespace tesmira::pdf {

// The usage MuPDF draws pages for: optional content in its print state, and only the annotations
// and form fields that carry the Print flag and not the Hidden one.
inline constexpr const char* PRINT_USAGE = "Print";

// Gives every optional content group of `doc` (those /OCProperties /OCGs lists), in memory only,
// the state it prints in by the PDF's own rules: that of the default configuration /D, changed
// by the /AS entries for the Print event, each setting the groups it lists to their /Usage /Print
// /PrintState. MuPDF 1.21 would apply a /PrintState that no /AS entry asks for, and start from the
// first of /Configs instead of /D. A document without optional content is left as it is. Throws
// MupdfError.
void set_print_states(const MupdfContext& mupdf, pdf_document* doc);

}  // namespace tesmira::pdf
