#pragma once
#include "grain/object_tally.hpp"
#include "pdf/mupdf_document.hpp"

namespace tesmira::grain {

// A MuPDF device that draws nothing and reports the bounds of everything drawn to
// `tally`, which must outlive it. When the tally fails, the device unwinds MuPDF with
// fz_throw(FZ_ERROR_ABORT). Throws through MuPDF.
fz_device* new_tally_device(fz_context* ctx, ObjectTally* tally);

}  // namespace tesmira::grain
