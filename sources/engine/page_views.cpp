#include "engine/page_views.hpp"

#include "common/at_once.hpp"
#include "common/errors.hpp"
#include "engine/compare.hpp"
#include "engine/render.hpp"

namespace tesmira::engine {
namespace {

// How the comparison shows a page: its plates' look when either page of the pair has plates.
cv::Mat shown(RenderedPage& page, bool as_printed, const std::filesystem::path& pdf, int page_number, double dpi) {
    if (!as_printed) return page.pixels;
    if (!page.plates) page.plates = render_plates(pdf, page_number, dpi);
    return shown_colours(*page.plates);
}

}  // namespace

PageViews draw_page_views(const std::filesystem::path& before_pdf, const std::filesystem::path& after_pdf,
                          int page_number, double dpi) {
    auto rendered = at_once([&] { return render_pdf(before_pdf, page_number, dpi); },
                            [&] { return render_pdf(after_pdf, page_number, dpi); });
    // Named references, not a structured binding: the lambdas below capture them.
    RenderedPage &before = rendered.first, &after = rendered.second;
    if (before.pixels.size() != after.pixels.size()) throw UserError("新旧PDFの仕上がりサイズが異なります。");
    const bool as_printed = before.plates || after.plates;
    auto [before_view, after_view] =
        at_once([&] { return padded_page(shown(before, as_printed, before_pdf, page_number, dpi)); },
                [&] { return padded_page(shown(after, as_printed, after_pdf, page_number, dpi)); });
    return {std::move(before_view), std::move(after_view)};
}

}  // namespace tesmira::engine
