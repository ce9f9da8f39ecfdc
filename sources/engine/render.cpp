#include "engine/render.hpp"

#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cmath>
#include <future>
#include <tuple>

#include "common/errors.hpp"
#include "common/rounding.hpp"
#include "common/settings_schema.hpp"
#include "engine/colour_device.hpp"
#include "engine/dimensions.hpp"
#include "engine/ink_survey.hpp"
#include "engine/limits.hpp"
#include "engine/plate_drawing.hpp"
#include "engine/shared_decodes.hpp"
#include "pdf/mupdf_document.hpp"
#include "pdf/page_geometry.hpp"
#include "pdf/page_images.hpp"
#include "pdf/page_run.hpp"
#include "pdf/reader.hpp"
#include "pdf/trimmed_page.hpp"

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
    double width = 0;  // trim size in points, in display orientation
    double height = 0;
};

// What decoding an image takes, as its file declares it.
unsigned __int128 decode_bytes(const pdf::DeclaredImage& image) {
    const unsigned __int128 samples =
        (unsigned __int128)image.width * (unsigned __int128)image.height * (unsigned __int128)image.components;
    return samples * (image.wavelet ? 4 : image.jpeg ? 2 : 1);
}

// Refuses a page one of whose images would take more than MAX_IMAGE_DECODE_BYTES to decode,
// before anything of it is decoded.
void check_images(QPDFPageObjectHelper& page, int page_number) {
    for (const pdf::DeclaredImage& image : pdf::declared_images(page))
        if (decode_bytes(image) > (unsigned __int128)MAX_IMAGE_DECODE_BYTES)
            throw UserError(std::to_string(page_number) +
                            "ページ: 大きすぎる画像があるため比較できません（展開後1GBまで）。");
}

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

    check_images(page, page_number);

    CheckedPage checked;
    checked.pages = n;
    checked.trim = pdf::trimmed_box(page);
    const int rotation = pdf::display_rotation(page);
    checked.width = checked.trim.width();
    checked.height = checked.trim.height();
    if (rotation == 90 || rotation == 270) std::swap(checked.width, checked.height);
    return checked;
}

// Where and how large the page is drawn.
struct Geometry {
    pdf::Rect trim;
    fz_matrix ctm;
    int columns = 0, rows = 0;
};

// The page on screen: MuPDF draws straight into the array that is returned.
cv::Mat draw_screen(const MupdfContext& mupdf, pdf_page* page, const Geometry& g, SharedDecodes* decodes) {
    fz_context* ctx = mupdf.get();
    cv::Mat pixels(g.rows, g.columns, CV_8UC3);
    Pixmap pixmap(nullptr, {ctx});
    mupdf.run([&] {
        pixmap.reset(fz_new_pixmap_with_data(
            ctx, fz_device_rgb(ctx), g.columns, g.rows, nullptr, 0, int(pixels.step[0]), pixels.data));
        fz_clear_pixmap_with_value(ctx, pixmap.get(), 255);
    });
    Device draw(nullptr, {ctx});
    mupdf.run([&] { draw.reset(fz_new_draw_device(ctx, fz_identity, pixmap.get())); });
    Device colour(nullptr, {ctx});
    mupdf.run([&] {
        colour.reset(new_colour_device(ctx, draw.get(), {0, 0, g.columns, g.rows}, DrawTarget::screen, decodes));
    });
    mupdf.run([&] { fz_enable_device_hints(ctx, draw.get(), FZ_DONT_INTERPOLATE_IMAGES); });
    pdf::run_page(mupdf, page, colour.get(), g.ctm);
    mupdf.run([&] {
        fz_close_device(ctx, colour.get());
        fz_close_device(ctx, draw.get());
    });
    return pixels;
}

// The survey of the page, refusing a page that would draw endlessly.
InkSurvey survey_page(const MupdfContext& mupdf, pdf_page* page, const Geometry& g, int page_number) {
    try {
        return survey_inks(mupdf, page, g.ctm);
    } catch (const TooMuchDrawing&) {
        throw UserError(std::to_string(page_number) +
                        "ページ: 描画する要素が多すぎるため比較できません（上限200万）。");
    }
}

// The page's plates, in a MuPDF context of their own so that they can be drawn beside the
// screen; `spots` are the page's, surveyed here when not given.
InkPlates plates_apart(const std::filesystem::path& path, int page_number, const Geometry& g,
                       std::optional<std::vector<SpotInk>> spots, SharedDecodes* decodes = nullptr) {
    MupdfContext mupdf;
    PdfDocument doc(nullptr, {mupdf.get()});
    PdfPage page = pdf::load_trimmed_page(mupdf, doc, path, page_number, g.trim);
    if (!spots) spots = survey_page(mupdf, page.get(), g, page_number).spots;
    return draw_plates(mupdf, page.get(), g.ctm, g.columns, g.rows, std::move(*spots), decodes);
}

struct Prepared {
    CheckedPage checked;
    Geometry geometry;
    double width_mm = 0, height_mm = 0;
};

// Every refusal before anything is drawn.
Prepared prepare(const std::filesystem::path& path, int page_number, double dpi) {
    check_resolution(dpi);
    const int whole_dpi = int(dpi);
    Prepared p;
    p.checked = check_pdf(path, page_number);
    std::tie(p.width_mm, p.height_mm) = validate_dimensions(p.checked.width, p.checked.height, whole_dpi);
    const float scale = float(dpi / 72);
    p.geometry.trim = p.checked.trim;
    p.geometry.ctm = fz_scale(scale, scale);
    p.geometry.columns = int(std::ceil(p.checked.width * whole_dpi / 72));
    p.geometry.rows = int(std::ceil(p.checked.height * whole_dpi / 72));
    return p;
}

}  // namespace

void check_resolution(double dpi) {
    if (std::none_of(
            RESOLUTIONS.begin(), RESOLUTIONS.end(), [dpi](std::int64_t known) { return dpi == double(known); }))
        throw UserError("解像度は144・200・300dpiから選択してください。");
}

RenderedPage render_pdf(const std::filesystem::path& path, int page_number, double dpi) {
    const Prepared p = prepare(path, page_number, dpi);
    const Geometry& g = p.geometry;
    MupdfContext mupdf;
    PdfDocument doc(nullptr, {mupdf.get()});
    PdfPage page = pdf::load_trimmed_page(mupdf, doc, path, page_number, g.trim);

    // A page that prints differently from how it looks is drawn as it prints beside the screen,
    // the two decoding each image once.
    std::optional<SharedDecodes> decodes;
    std::future<InkPlates> plates;
    if (InkSurvey survey = survey_page(mupdf, page.get(), g, page_number); survey.press) {
        decodes.emplace();
        plates = std::async(std::launch::async, [&, spots = std::move(survey.spots)]() mutable {
            return plates_apart(path, page_number, g, std::move(spots), &*decodes);
        });
    }
    RenderedPage out;
    out.pixels = draw_screen(mupdf, page.get(), g, decodes ? &*decodes : nullptr);
    if (plates.valid()) out.plates = plates.get();
    out.info.pages = p.checked.pages;
    out.info.page = page_number;
    out.info.width_mm = round_half_even(p.width_mm, 3);
    out.info.height_mm = round_half_even(p.height_mm, 3);
    return out;
}

InkPlates render_plates(const std::filesystem::path& path, int page_number, double dpi) {
    return plates_apart(path, page_number, prepare(path, page_number, dpi).geometry, std::nullopt);
}

}  // namespace tesmira::engine
