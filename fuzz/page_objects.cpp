// The page-object inventory of the first page and its image-only scope, on the pixel grid
// that the renderer makes of the page at 144 dpi. The one PDF serves as both pages.
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/dimensions.hpp"
#include "grain/image_only_scope.hpp"
#include "input_file.hpp"
#include "pdf/page_geometry.hpp"
#include "pdf/reader.hpp"

namespace {

constexpr int DPI = 144;

// Rows and columns of the rendered first page, or nothing when the renderer would refuse it.
std::optional<std::pair<int, int>> page_grid(const std::filesystem::path& path) {
    try {
        tesmira::pdf::Reader reader = tesmira::pdf::open_reader(path);
        if (reader.encrypted) return std::nullopt;
        std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(*reader.qpdf).getAllPages();
        if (pages.empty()) return std::nullopt;
        const tesmira::pdf::Rect trim = tesmira::pdf::page_geometry(pages.front()).trim;
        tesmira::engine::validate_dimensions(trim.width(), trim.height(), DPI);
        return std::pair{int(std::ceil(trim.height() * DPI / 72)), int(std::ceil(trim.width() * DPI / 72))};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tesmira::fuzz::InputFile pdf(std::string_view(reinterpret_cast<const char*>(data), size));
    const auto grid = page_grid(pdf.path());
    if (!grid) return 0;
    const auto [rows, columns] = *grid;
    // Every ordinary failure becomes the fallback text; none may be an OpenCV assertion, which
    // would mean that an object's box left the page grid.
    const tesmira::grain::NoiseScope scope =
        tesmira::grain::image_only_scope(pdf.path(), pdf.path(), 1, rows, columns, DPI);
    if (scope.mask.rows != rows || scope.mask.cols != columns) std::abort();
    if (scope.stats.fallback && scope.stats.fallback->starts_with("OpenCV(")) std::abort();
    return 0;
}
