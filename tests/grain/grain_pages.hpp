#pragma once
// Small pages for the image-noise tests: 200 x 200 pt, which the renderer makes
// 400 x 400 pixels at 144 dpi.

#include <filesystem>
#include <optional>
#include <string>

#include "fixtures/pdf_builder.hpp"
#include "fixtures/temp_folder.hpp"

namespace tesmira::grain::testing {

inline constexpr int SIDE = 400;  // pixels of a 200 pt page at 144 dpi
inline constexpr int DPI = 144;

inline fixtures::Page page_with(std::string content) {
    fixtures::Page page;
    page.media = {0, 0, 200, 200};
    page.content = std::move(content);
    return page;
}

// The square image of the tests, 100 pt wide, its lower left corner at (x, y).
inline std::string square_image(double x = 50, double y = 50, int index = 0) {
    return fixtures::draw_image(index, 100, 0, 0, 100, x, y);
}

// A page with one small image (/Im0) and the given content.
inline fixtures::Page image_page(std::string content) {
    fixtures::Page page = page_with(std::move(content));
    page.images.push_back(fixtures::checkerboard(8, 8));
    return page;
}

inline std::filesystem::path write_page(const fixtures::TempFolder& folder, const std::string& name,
                                        const fixtures::Page& page, std::optional<int> inherited_rotate = {}) {
    fixtures::Document doc;
    doc.pages.push_back(page);
    doc.inherited_rotate = inherited_rotate;
    const std::filesystem::path path = folder.path() / name;
    fixtures::write_pdf(doc, path);
    return path;
}

}  // namespace tesmira::grain::testing
