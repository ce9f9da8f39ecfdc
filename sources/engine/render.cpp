#include "engine/render.hpp"

#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cmath>

#include "common/errors.hpp"
#include "common/rounding.hpp"
#include "common/settings_schema.hpp"
#include "engine/colour_device.hpp"
#include "engine/dimensions.hpp"
#include "engine/limits.hpp"
#include "pdf/mupdf_document.hpp"
#include "pdf/page_geometry.hpp"
#include "pdf/reader.hpp"

namespace tesmira::engine {
namespace {

using pdf::Device;
using pdf::MupdfContext;
using pdf::PdfDocument;
using pdf::PdfPage;
using pdf::Pixmap;

// What the PDF reader establishes before the renderer opens the file.
struct CheckedPage {
    int pages = 0;
    pdf::Rect trim;
    double width = 0;     // trim size in points, in display orientation
    double height = 0;
};

CheckedPage check_pdf(const std::filesystem::path& path, int page_number) {
    pdf::Reader reader = pdf::open_reader(path);
    if (reader.encrypted) throw UserError("パスワード付きPDFは対応していません。");

    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(*reader.qpdf).getAllPages();
    const int n = int(pages.size());
    if (n < 1 || n > MAX_PAGES) throw UserError("PDFは1〜50ページにしてください。");
    if (page_number < 1 || page_number > n)
        throw UserError("指定ページがありません。このPDFは" + std::to_string(n) + "ページです。");

    QPDFPageObjectHelper& page = pages[std::size_t(page_number - 1)];
    const double user_unit = pdf::user_unit(page);
    if (!(user_unit == 1.0)) throw UserError("UserUnitが標準以外のPDFは、この試作では未対応です。");

    CheckedPage checked;
    checked.pages = n;
    checked.trim = pdf::trimmed_box(page);
    const int rotation = pdf::display_rotation(page);
    checked.width = checked.trim.width();
    checked.height = checked.trim.height();
    if (rotation == 90 || rotation == 270) std::swap(checked.width, checked.height);
    return checked;
}

cv::Mat render_page(const std::filesystem::path& path, int page_number, const pdf::Rect& trim, double scale,
                    int columns, int rows) {
    MupdfContext mupdf;
    fz_context* ctx = mupdf.get();
    PdfDocument doc = pdf::open_pdf_document(mupdf, path);
    int needs_password = 0;
    mupdf.run([&] { needs_password = pdf_needs_password(ctx, doc.get()); });
    if (needs_password) throw UserError("パスワード付きPDFは対応していません。");

    // Cut the page to its trim box in memory only; the renderer then draws just the trimmed page.
    mupdf.run([&] {
        pdf_obj* page_object = pdf_lookup_page_obj(ctx, doc.get(), page_number - 1);
        fz_rect box = fz_make_rect(float(trim.x0), float(trim.y0), float(trim.x1), float(trim.y1));
        pdf_dict_put_rect(ctx, page_object, PDF_NAME(CropBox), box);
    });
    PdfPage page = pdf::load_pdf_page(mupdf, doc.get(), page_number - 1);

    // MuPDF draws straight into the array that is returned.
    cv::Mat pixels(rows, columns, CV_8UC3);
    Pixmap pixmap(nullptr, {ctx});
    mupdf.run([&] {
        pixmap.reset(fz_new_pixmap_with_data(ctx, fz_device_rgb(ctx), columns, rows, nullptr, 0,
                                             int(pixels.step[0]), pixels.data));
        fz_clear_pixmap_with_value(ctx, pixmap.get(), 255);
    });
    Device draw(nullptr, {ctx});
    mupdf.run([&] { draw.reset(fz_new_draw_device(ctx, fz_identity, pixmap.get())); });
    Device colour(nullptr, {ctx});
    mupdf.run([&] { colour.reset(new_colour_device(ctx, draw.get(), {0, 0, columns, rows})); });
    mupdf.run([&] {
        fz_enable_device_hints(ctx, draw.get(), FZ_DONT_INTERPOLATE_IMAGES);
        pdf_run_page(ctx, page.get(), colour.get(), fz_scale(float(scale), float(scale)), nullptr);
        fz_close_device(ctx, colour.get());
        fz_close_device(ctx, draw.get());
    });

    return pixels;
}

}  // namespace

void check_resolution(double dpi) {
    if (std::none_of(RESOLUTIONS.begin(), RESOLUTIONS.end(), [dpi](std::int64_t known) { return dpi == double(known); }))
        throw UserError("解像度は144・200・300dpiから選択してください。");
}

RenderedPage render_pdf(const std::filesystem::path& path, int page_number, double dpi) {
    check_resolution(dpi);
    const int whole_dpi = int(dpi);
    const CheckedPage checked = check_pdf(path, page_number);
    const auto [width_mm, height_mm] = validate_dimensions(checked.width, checked.height, whole_dpi);

    const double scale = dpi / 72;
    const int columns = int(std::ceil(checked.width * whole_dpi / 72));
    const int rows = int(std::ceil(checked.height * whole_dpi / 72));
    RenderedPage out;
    out.pixels = render_page(path, page_number, checked.trim, scale, columns, rows);
    out.info.pages = checked.pages;
    out.info.page = page_number;
    out.info.width_mm = round_half_even(width_mm, 3);
    out.info.height_mm = round_half_even(height_mm, 3);
    return out;
}

}  // namespace tesmira::engine
