#pragma once
extern "C" {
#include <mupdf/fitz.h>
#include <mupdf/pdf.h>
}

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace tesmira::pdf {

// A MuPDF failure, carrying MuPDF's own message and whether memory ran out (MuPDF's
// FZ_ERROR_MEMORY: an allocation failed, or went beyond what one page may take).
class MupdfError : public std::runtime_error {
public:
    explicit MupdfError(const std::string& message, bool out_of_memory = false)
        : std::runtime_error(message), out_of_memory_(out_of_memory) {}
    bool out_of_memory() const { return out_of_memory_; }

private:
    bool out_of_memory_;
};

// One MuPDF context; every MuPDF call of this process goes through one of these.
class MupdfContext {
public:
    MupdfContext();
    ~MupdfContext();
    MupdfContext(const MupdfContext&) = delete;
    MupdfContext& operator=(const MupdfContext&) = delete;

    fz_context* get() const { return ctx_; }

    // Runs MuPDF calls and turns a MuPDF error into MupdfError. MuPDF unwinds with longjmp,
    // so `calls` must hold only C calls and trivially destructible locals.
    template <typename F>
    void run(F&& calls) const {
        fz_context* ctx = ctx_;
        const char* volatile failure = nullptr;  // read after a longjmp
        volatile int code = 0;
        fz_try(ctx) { calls(); }
        fz_catch(ctx) {
            failure = fz_caught_message(ctx);
            code = fz_caught(ctx);
        }
        if (failure) throw MupdfError(failure, code == FZ_ERROR_MEMORY);
    }

private:
    fz_context* ctx_ = nullptr;
};

struct PdfDocumentDeleter {
    fz_context* ctx;
    void operator()(pdf_document* doc) const { pdf_drop_document(ctx, doc); }
};
struct PdfPageDeleter {
    fz_context* ctx;
    void operator()(pdf_page* page) const { fz_drop_page(ctx, &page->super); }
};
struct PixmapDeleter {
    fz_context* ctx;
    void operator()(fz_pixmap* pixmap) const { fz_drop_pixmap(ctx, pixmap); }
};
struct DeviceDeleter {
    fz_context* ctx;
    void operator()(fz_device* device) const { fz_drop_device(ctx, device); }
};
struct SeparationsDeleter {
    fz_context* ctx;
    void operator()(fz_separations* separations) const { fz_drop_separations(ctx, separations); }
};
struct StextPageDeleter {
    fz_context* ctx;
    void operator()(fz_stext_page* page) const { fz_drop_stext_page(ctx, page); }
};
using PdfDocument = std::unique_ptr<pdf_document, PdfDocumentDeleter>;
using PdfPage = std::unique_ptr<pdf_page, PdfPageDeleter>;
using Pixmap = std::unique_ptr<fz_pixmap, PixmapDeleter>;
using Device = std::unique_ptr<fz_device, DeviceDeleter>;
using Separations = std::unique_ptr<fz_separations, SeparationsDeleter>;
using StextPage = std::unique_ptr<fz_stext_page, StextPageDeleter>;

// Opens the PDF at `path` to be drawn as it prints: a document that opens without a password has
// its optional content in its print state (print_states.hpp).
PdfDocument open_pdf_document(const MupdfContext& mupdf, const std::filesystem::path& path);
PdfPage load_pdf_page(const MupdfContext& mupdf, pdf_document* doc, int index);

}  // namespace tesmira::pdf
