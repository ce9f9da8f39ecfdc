#include "pdf/trimmed_page.hpp"

#include "common/errors.hpp"

namespace tesmira::pdf {

PdfPage load_trimmed_page(const MupdfContext& mupdf, PdfDocument& doc, const std::filesystem::path& path,
                          int page_number, const Rect& trim) {
    fz_context* ctx = mupdf.get();
    doc = open_pdf_document(mupdf, path);
    int needs_password = 0;
    mupdf.run([&] { needs_password = pdf_needs_password(ctx, doc.get()); });
    if (needs_password) throw UserError("パスワード付きPDFは対応していません。");
    mupdf.run([&] {
        pdf_obj* page_object = pdf_lookup_page_obj(ctx, doc.get(), page_number - 1);
        fz_rect box = fz_make_rect(float(trim.x0), float(trim.y0), float(trim.x1), float(trim.y1));
        pdf_dict_put_rect(ctx, page_object, PDF_NAME(CropBox), box);
    });
    return load_pdf_page(mupdf, doc.get(), page_number - 1);
}

}  // namespace tesmira::pdf
