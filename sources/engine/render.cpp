#include "engine/render.hpp"

#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cmath>
#include <memory>
#include <tuple>

#include "common/at_once.hpp"
#include "common/errors.hpp"
#include "common/rounding.hpp"
#include "common/settings_schema.hpp"
#include "engine/colour_device.hpp"
#include "engine/dimensions.hpp"
#include "engine/ink_survey.hpp"
#include "engine/limits.hpp"
#include "engine/plate_drawing.hpp"
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

    const pdf::PageGeometry geometry = pdf::page_geometry(page);
    return {n, geometry.trim, geometry.width, geometry.height};
}

// Where and how large the page is drawn.
struct Geometry {
    pdf::Rect trim;
    fz_matrix ctm;
    int columns = 0, rows = 0;
};

// The page on screen: MuPDF draws straight into the array that is returned.
cv::Mat draw_screen(const MupdfContext& mupdf, pdf_page* page, const Geometry& g) {
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
    mupdf.run([&] { colour.reset(new_colour_device(ctx, draw.get())); });
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

// A page checked, loaded in a MuPDF context of its own and surveyed, to be drawn on screen or on
// its plates.
class OpenedPage {
public:
    OpenedPage(const std::filesystem::path& path, int page_number, double dpi)
        : prepared_(prepare(path, page_number, dpi)),
          doc_(nullptr, {mupdf_.get()}),
          page_(pdf::load_trimmed_page(mupdf_, doc_, path, page_number, prepared_.geometry.trim)),
          survey_(survey_page(mupdf_, page_.get(), prepared_.geometry, page_number)),
          page_number_(page_number) {}

    // Whether the page prints differently from how it looks.
    bool press() const { return survey_.press; }

    // The page on screen, or on its plates without their look yet.
    RenderedPage draw(bool on_plates) {
        const Geometry& g = prepared_.geometry;
        RenderedPage out;
        if (on_plates)
            out.plates = draw_plates(mupdf_, page_.get(), g.ctm, g.columns, g.rows, std::move(survey_.spots));
        else
            out.pixels = draw_screen(mupdf_, page_.get(), g);
        out.info.pages = prepared_.checked.pages;
        out.info.page = page_number_;
        out.info.width_mm = round_half_even(prepared_.width_mm, 3);
        out.info.height_mm = round_half_even(prepared_.height_mm, 3);
        return out;
    }

private:
    MupdfContext mupdf_;
    Prepared prepared_;
    PdfDocument doc_;
    PdfPage page_;
    InkSurvey survey_;
    int page_number_;
};

}  // namespace

void check_resolution(double dpi) {
    if (std::none_of(
            RESOLUTIONS.begin(), RESOLUTIONS.end(), [dpi](std::int64_t known) { return dpi == double(known); }))
        throw UserError("解像度は144・200・300dpiから選択してください。");
}

RenderedPage render_pdf(const std::filesystem::path& path, int page_number, double dpi) {
    OpenedPage page(path, page_number, dpi);
    RenderedPage out = page.draw(page.press());
    if (out.plates) out.pixels = shown_colours(*out.plates);
    return out;
}

std::pair<RenderedPage, RenderedPage> render_pages(const std::filesystem::path& before_pdf,
                                                   const std::filesystem::path& after_pdf, int page_number,
                                                   double dpi) {
    // Each page is drawn as it asks, the two wholly at the same time; a page that prints as it
    // looks beside one that does not, rarely met, is then drawn again on its plates.
    struct Drawn {
        std::unique_ptr<OpenedPage> page;
        RenderedPage rendered;
    };
    const auto draw = [&](const std::filesystem::path& path) {
        Drawn drawn{std::make_unique<OpenedPage>(path, page_number, dpi), {}};
        drawn.rendered = drawn.page->draw(drawn.page->press());
        return drawn;
    };
    auto [before, after] = at_once([&] { return draw(before_pdf); }, [&] { return draw(after_pdf); });
    if (before.rendered.plates && !after.rendered.plates) after.rendered = after.page->draw(true);
    if (after.rendered.plates && !before.rendered.plates) before.rendered = before.page->draw(true);
    before.page.reset();  // MuPDF's memory, before the plates' look takes its own
    after.page.reset();
    if (before.rendered.plates)
        std::tie(before.rendered.pixels, after.rendered.pixels) =
            shown_colours(*before.rendered.plates, *after.rendered.plates);
    return {std::move(before.rendered), std::move(after.rendered)};
}

}  // namespace tesmira::engine
