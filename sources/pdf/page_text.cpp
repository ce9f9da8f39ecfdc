#include "pdf/page_text.hpp"

#include <qpdf/QPDFPageDocumentHelper.hh>

#include "common/errors.hpp"
#include "pdf/page_geometry.hpp"
#include "pdf/page_run.hpp"
#include "pdf/reader.hpp"
#include "pdf/trimmed_page.hpp"

namespace tesmira::pdf {
namespace {

Rect trim_of(const std::filesystem::path& path, int page_number) {
    Reader reader = open_reader(path);
    if (reader.encrypted) throw UserError("パスワード付きPDFは対応していません。");
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(*reader.qpdf).getAllPages();
    return page_geometry(pages.at(std::size_t(page_number - 1))).trim;
}

Rect bounds(const fz_rect& r) { return {r.x0, r.y0, r.x1, r.y1}; }

std::vector<TextLine> lines_of(const fz_stext_page* text) {
    std::vector<TextLine> lines;
    for (const fz_stext_block* block = text->first_block; block; block = block->next) {
        if (block->type != FZ_STEXT_BLOCK_TEXT) continue;
        for (const fz_stext_line* line = block->u.t.first_line; line; line = line->next) {
            TextLine& out = lines.emplace_back();
            out.box = bounds(line->bbox);
            for (const fz_stext_char* c = line->first_char; c; c = c->next)
                out.characters.push_back({char32_t(c->c), bounds(fz_rect_from_quad(c->quad))});
        }
    }
    return lines;
}

}  // namespace

std::vector<TextLine> page_text(const std::filesystem::path& path, int page_number) {
    const Rect trim = trim_of(path, page_number);
    MupdfContext mupdf;
    fz_context* ctx = mupdf.get();
    PdfDocument doc(nullptr, {ctx});
    PdfPage page = load_trimmed_page(mupdf, doc, path, page_number, trim);
    StextPage text(nullptr, {ctx});
    mupdf.run([&] { text.reset(fz_new_stext_page(ctx, fz_bound_page(ctx, &page->super))); });
    fz_stext_options options{};
    options.flags = FZ_STEXT_MEDIABOX_CLIP;
    Device device(nullptr, {ctx});
    mupdf.run([&] { device.reset(fz_new_stext_device(ctx, text.get(), &options)); });
    run_page(mupdf, page.get(), device.get(), fz_identity);
    mupdf.run([&] { fz_close_device(ctx, device.get()); });
    return lines_of(text.get());
}

}  // namespace tesmira::pdf
