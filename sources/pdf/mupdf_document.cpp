#include "pdf/mupdf_document.hpp"

#include <new>

namespace tesmira::pdf {
namespace {

// MuPDF reports through exceptions; its console output would only be noise.
void quiet(void*, const char*) {}

// Keeps image samples as they are: no smoothing scaler when an image is resized.
int never_smooth_images(void*, int, int, int, int) { return 0; }

}  // namespace

MupdfContext::MupdfContext() {
    ctx_ = fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT);
    if (!ctx_) throw std::bad_alloc();
    fz_set_error_callback(ctx_, quiet, nullptr);
    fz_set_warning_callback(ctx_, quiet, nullptr);
    fz_set_aa_level(ctx_, 0);
    fz_tune_image_scale(ctx_, never_smooth_images, nullptr);
}

MupdfContext::~MupdfContext() { fz_drop_context(ctx_); }

PdfDocument open_pdf_document(const MupdfContext& mupdf, const std::filesystem::path& path) {
    pdf_document* doc = nullptr;
    const std::string name = path.string();
    mupdf.run([&] { doc = pdf_open_document(mupdf.get(), name.c_str()); });
    return PdfDocument(doc, {mupdf.get()});
}

PdfPage load_pdf_page(const MupdfContext& mupdf, pdf_document* doc, int index) {
    pdf_page* page = nullptr;
    mupdf.run([&] { page = pdf_load_page(mupdf.get(), doc, index); });
    return PdfPage(page, {mupdf.get()});
}

}  // namespace tesmira::pdf
