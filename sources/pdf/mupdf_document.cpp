#include "pdf/mupdf_document.hpp"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#include "pdf/print_states.hpp"

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
// Nor may all of MuPDF's allocations in the process together, in every context at once (the
// pages drawn beside each other), exceed this: transparency groups nested in one another each
// take a page-sized buffer.
constexpr std::size_t MAX_TOTAL = std::size_t(4) << 30;

std::atomic<std::size_t> in_use{0};

// Takes `size` bytes of the total, or nothing when they do not fit.
bool reserve(std::size_t size) {
    std::size_t now = in_use.load();
    do {
        if (size > MAX_TOTAL - std::min(now, MAX_TOTAL)) return false;
    } while (!in_use.compare_exchange_weak(now, now + size));
    return true;
}

void* capped_malloc(void*, std::size_t size) {
    if (size > MAX_ALLOCATION || !reserve(size)) return nullptr;
    void* block = std::malloc(size);
    in_use -= size;
    if (block) in_use += malloc_usable_size(block);
    return block;
}
void* capped_realloc(void*, void* old, std::size_t size) {
    const std::size_t before = old ? malloc_usable_size(old) : 0;
    if (size > MAX_ALLOCATION || (size > before && !reserve(size - before))) return nullptr;
    void* block = std::realloc(old, size);
    if (size > before) in_use -= size - before;
    if (block || size == 0) {
        in_use -= before;
        if (block) in_use += malloc_usable_size(block);
    }
    return block;
}
void plain_free(void*, void* block) {
    if (block) in_use -= malloc_usable_size(block);
    std::free(block);
}

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
    PdfDocument opened(doc, {mupdf.get()});
    int needs_password = 0;
    mupdf.run([&] { needs_password = pdf_needs_password(mupdf.get(), doc); });
    if (!needs_password) set_print_states(mupdf, doc);
    return opened;
}

PdfPage load_pdf_page(const MupdfContext& mupdf, pdf_document* doc, int index) {
    pdf_page* page = nullptr;
    mupdf.run([&] { page = pdf_load_page(mupdf.get(), doc, index); });
    return PdfPage(page, {mupdf.get()});
}

}  // namespace tesmira::pdf
