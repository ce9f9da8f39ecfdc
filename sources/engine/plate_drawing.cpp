#include "engine/plate_drawing.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/allocator.hpp"
#include "engine/colour_device.hpp"
#include "engine/limits.hpp"
#include "pdf/page_run.hpp"

namespace tesmira::engine {
namespace {

using pdf::Device;
using pdf::Pixmap;

// The spot inks as MuPDF's separations, each a plate of its own.
fz_separations* plates_of(fz_context* ctx, const std::vector<SpotInk>& spots) {
    fz_separations* separations = fz_new_separations(ctx, 0);
    fz_try(ctx) {
        for (std::size_t i = 0; i < spots.size(); ++i) {
            fz_add_separation(ctx, separations, spots[i].name.c_str(), nullptr, 0);
            fz_set_separation_behavior(ctx, separations, int(i), FZ_SEPARATION_SPOT);
        }
    }
    fz_catch(ctx) {
        fz_drop_separations(ctx, separations);
        fz_rethrow(ctx);
    }
    return separations;
}

// A page group's RGB blending space would composite every ink through RGB, where nothing can
// overprint and MuPDF's conversions saturate; the press composites in its own inks.
void composite_in_cmyk(fz_context* ctx, pdf_page* page) {
    if (pdf_obj* group = pdf_dict_get(ctx, page->obj, PDF_NAME(Group))) pdf_dict_del(ctx, group, PDF_NAME(CS));
}

}  // namespace

InkPlates draw_plates(const pdf::MupdfContext& mupdf, pdf_page* page, fz_matrix ctm, int columns, int rows,
                      std::vector<SpotInk> spots) {
    fz_context* ctx = mupdf.get();
    // The spot inks that do not fit go through their alternates into the process plates.
    const long long fitting = MAX_PLATE_BYTES / (static_cast<long long>(columns) * rows) - 4;
    if (static_cast<long long>(spots.size()) > fitting) spots.resize(std::size_t(std::max(0LL, fitting)));
    InkPlates out;
    const int type = CV_8UC(4 + int(spots.size()));
    const std::size_t row_bytes = std::size_t(columns) * CV_ELEM_SIZE(type);
    out.storage = large_block(row_bytes * std::size_t(rows));
    out.samples = cv::Mat(rows, columns, type, out.storage.get(), row_bytes);
    std::memset(out.storage.get(), 0, row_bytes * std::size_t(rows));  // bare paper
    out.spots = std::move(spots);
    mupdf.run([&] { composite_in_cmyk(ctx, page); });

    // MuPDF simulates overprint only when the target carries separations.
    pdf::Separations separations(nullptr, {ctx});
    mupdf.run([&] { separations.reset(plates_of(ctx, out.spots)); });
    Pixmap pixmap(nullptr, {ctx});
    mupdf.run([&] {
        pixmap.reset(fz_new_pixmap_with_data(
            ctx, fz_device_cmyk(ctx), columns, rows, separations.get(), 0, int(out.samples.step[0]), out.samples.data));
    });
    Device draw(nullptr, {ctx});
    mupdf.run([&] { draw.reset(fz_new_draw_device(ctx, fz_identity, pixmap.get())); });
    if (out.spots.empty()) {
        // The draw device has seen the separations and simulates overprint. Without any spot
        // ink, MuPDF 1.21 would copy the whole page into a second pixmap to draw and back at
        // the end; taking them off again makes it draw into ours, as with spot inks.
        fz_drop_separations(ctx, std::exchange(pixmap->seps, nullptr));
    }
    Device colour(nullptr, {ctx});
    mupdf.run([&] { colour.reset(new_colour_device(ctx, draw.get())); });
    mupdf.run([&] { fz_enable_device_hints(ctx, draw.get(), FZ_DONT_INTERPOLATE_IMAGES); });
    pdf::run_page(mupdf, page, colour.get(), ctm);
    mupdf.run([&] {
        fz_close_device(ctx, colour.get());
        fz_close_device(ctx, draw.get());
    });
    return out;
}

}  // namespace tesmira::engine
