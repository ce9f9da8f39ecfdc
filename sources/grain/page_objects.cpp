#include "grain/page_objects.hpp"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "common/errors.hpp"
#include "grain/content_listing.hpp"
#include "pdf/page_geometry.hpp"

namespace tesmira::grain {
namespace {

// Finds the clipping-path operators in a content stream.
class ClipFinder : public QPDFObjectHandle::ParserCallbacks {
public:
    void handleObject(QPDFObjectHandle object, size_t, size_t) override {
        if (!object.isOperator()) return;
        const std::string op = object.getOperatorValue();
        if (op == "W" || op == "W*") {
            found = true;
            terminateParsing();
        }
    }
    void handleEOF() override {}

    bool found = false;
};

// Reads the page with qpdf: refuses a page whose own content clips (clipping inside
// forms or patterns is not looked for) and a rotated page; returns the page box that
// the renderer cuts the page to.
pdf::Rect checked_page_box(const std::filesystem::path& path, int page_number) {
    QPDF reader;
    reader.setSuppressWarnings(true);
    reader.processFile(path.c_str());
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(reader).getAllPages();
    if (page_number < 1 || std::size_t(page_number) > pages.size())
        throw std::out_of_range("page " + std::to_string(page_number) + " is not in the file");
    QPDFPageObjectHelper& page = pages[std::size_t(page_number - 1)];

    ClipFinder clips;
    page.parseContents(&clips);  // a page without content has nothing to find
    if (clips.found) throw UserError("クリッピングのあるページは軽減対象外です。");
    const pdf::PageGeometry geometry = pdf::page_geometry(page);
    if (geometry.rotation != 0) throw UserError("回転ページは軽減対象外です。");

    const pdf::Rect box = geometry.trim;
    if (!(box.width() > 0 && box.height() > 0)) throw std::domain_error("the page box has no area");
    return box;
}

// Pixel coordinates far off the page only need to stay off it.
int to_pixel(double value) { return int(std::clamp(value, -1e9, 1e9)); }

}  // namespace

std::vector<PageObjectRecord> page_objects(const std::filesystem::path& path, int page_number, int height, int width) {
    const pdf::Rect page = checked_page_box(path, page_number);
    const std::vector<ListedObject> listed = list_page_content(path, page_number - 1, page);

    // The renderer rounds width and height separately, so each axis has its own scale.
    const double sx = width / page.width();
    const double sy = height / page.height();
    std::vector<PageObjectRecord> records;
    records.reserve(listed.size());
    for (const ListedObject& object : listed) {
        const auto [l, b, r, t] = object.bounds;
        PageObjectRecord record{};
        record.type = object.type;
        // Rounded outwards; the near edges clamped only from below, the far edges only from
        // above, so an object off the page keeps an empty box.
        record.box = {to_pixel(std::max(0.0, std::floor((l - page.x0) * sx))),
                      to_pixel(std::max(0.0, std::floor((page.y1 - t) * sy))),
                      to_pixel(std::min(double(width), std::ceil((r - page.x0) * sx))),
                      to_pixel(std::min(double(height), std::ceil((page.y1 - b) * sy)))};
        record.bounds = object.bounds;
        record.simple = object.type == ObjectType::image && object.simple;
        record.index = int(records.size());
        records.push_back(record);
    }
    return records;
}

}  // namespace tesmira::grain
