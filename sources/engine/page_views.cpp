#include "engine/page_views.hpp"

#include "common/errors.hpp"
#include "engine/compare.hpp"
#include "engine/render.hpp"

namespace tesmira::engine {

PageViews draw_page_views(const std::filesystem::path& before_pdf, const std::filesystem::path& after_pdf,
                          int page_number, double dpi) {
    auto [before, after] = render_pages(before_pdf, after_pdf, page_number, dpi);
    if (before.pixels.size() != after.pixels.size()) throw UserError("新旧PDFの仕上がりサイズが異なります。");
    before.plates.reset();
    after.plates.reset();
    return {padded_page(before.pixels), padded_page(after.pixels)};
}

}  // namespace tesmira::engine
