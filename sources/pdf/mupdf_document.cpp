#include "pdf/mupdf_document.hpp"

#include <cstddef>
#include <cstdlib>
#include <new>

namespace tesmira::pdf {
namespace {

// MuPDF reports through exceptions; its console output would only be noise.
void quiet(void*, const char*) {}

// Keeps image samples as they are: no smoothing scaler when an image is resized.
int never_smooth_images(void*, int, int, int, int) { return 0; }

// No single allocation of MuPDF's may exceed this: a few bytes of a file can declare an image
// of gigabytes, which is then decoded whole. What a real page needs stays far below it (a
// group buffer the size of the largest page at 300 dpi takes 560 MB). Refused, MuPDF fails
// with its own message.
constexpr std::size_t MAX_ALLOCATION = std::size_t(1) << 30;

void* capped_malloc(void*, std::size_t size) { return size > MAX_ALLOCATION ? nullptr : std::malloc(size); }
void* capped_realloc(void*, void* old, std::size_t size) {
    return size > MAX_ALLOCATION ? nullptr : std::realloc(old, size);
}
void plain_free(void*, void* block) { std::free(block); }

const fz_alloc_context CAPPED_ALLOCATOR = {nullptr, capped_malloc, capped_realloc, plain_free};

}  // namespace

MupdfContext::MupdfContext() {
    ctx_ = fz_new_context(&CAPPED_ALLOCATOR, nullptr, FZ_STORE_DEFAULT);
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
