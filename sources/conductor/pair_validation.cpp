#include "conductor/pair_validation.hpp"

#include <qpdf/QPDFPageDocumentHelper.hh>

#include <cmath>
#include <string>
#include <system_error>
#include <vector>

#include "common/at_once.hpp"
#include "common/errors.hpp"
#include "common/input_limits.hpp"
#include "engine/dimensions.hpp"
#include "engine/limits.hpp"
#include "pdf/page_geometry.hpp"
#include "pdf/reader.hpp"

namespace tesmira::conductor {
namespace {

struct OpenPdf {
    pdf::Reader reader;
    std::vector<QPDFPageObjectHelper> pages;
};

OpenPdf open_checked(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) || std::filesystem::file_size(path, error) > MAX_FILE_BYTES ||
        error)
        throw UserError("各PDFは60MB以内にしてください。");
    OpenPdf pdf{pdf::open_reader(path), {}};
    if (pdf.reader.encrypted) throw UserError("パスワード付きPDFには対応していません。");
    pdf.pages = QPDFPageDocumentHelper(*pdf.reader.qpdf).getAllPages();
    if (pdf.pages.empty() || pdf.pages.size() > std::size_t(engine::MAX_PAGES))
        throw UserError("PDFは1〜50ページにしてください。");
    return pdf;
}

// The trim size in points as the renderer draws the page: the same reading of its boxes and
// its /Rotate, so that a pair accepted here is drawn at the size checked here.
std::pair<double, double> checked_page_size(QPDFPageObjectHelper& page, int number, int dpi) {
    const std::string prefix = std::to_string(number) + "ページ: ";
    if (!(pdf::user_unit(page) == 1.0)) throw UserError(prefix + "特殊なUserUnitは未対応です。");
    const pdf::PageGeometry geometry = pdf::page_geometry(page);
    try {
        engine::validate_dimensions(geometry.width, geometry.height, dpi);
    } catch (const UserError& error) {
        throw UserError(prefix + error.what());
    }
    return {geometry.width, geometry.height};
}

}  // namespace

PageCountMismatch::PageCountMismatch(int before, int after)
    : UserError("新旧PDFのページ数が異なります。同じページ数・順番のPDFを選択してください。"),
      before_pages(before),
      after_pages(after) {}

ValidPair validate_pair(const std::filesystem::path& before, const std::filesystem::path& after, const Json& settings) {
    // Both read at once; the old file's refusal is the one told when both are refused.
    auto [old_pdf, new_pdf] = at_once([&] { return open_checked(before); }, [&] { return open_checked(after); });
    if (old_pdf.pages.size() != new_pdf.pages.size())
        throw PageCountMismatch(int(old_pdf.pages.size()), int(new_pdf.pages.size()));
    const int dpi = settings.at("dpi").get<int>();
    const int n = int(old_pdf.pages.size());
    ValidPair valid{n, {}};
    for (int i = 1; i <= n; ++i) {
        const auto old_size = checked_page_size(old_pdf.pages[std::size_t(i - 1)], i, dpi);
        const auto new_size = checked_page_size(new_pdf.pages[std::size_t(i - 1)], i, dpi);
        if (std::abs(old_size.first - new_size.first) * 25.4 / 72 > 0.01 ||
            std::abs(old_size.second - new_size.second) * 25.4 / 72 > 0.01)
            throw UserError(std::to_string(i) + "ページ: 新旧の仕上がりサイズが異なります。自動拡大・縮小はしません。");
        valid.page_pixels.push_back(std::llround(old_size.first * dpi / 72.0) *
                                    std::llround(old_size.second * dpi / 72.0));
    }
    return valid;
}

}  // namespace tesmira::conductor
