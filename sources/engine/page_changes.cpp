#include "engine/page_changes.hpp"

#include <algorithm>

#include "common/at_once.hpp"
#include "common/rounding.hpp"
#include "common/unicode.hpp"
#include "engine/compare.hpp"
#include "pdf/page_text.hpp"

namespace tesmira::engine {
namespace {

// Pixels at `dpi` as points (dpi / 72 pixels a point).
double points(long long pixels, double dpi) { return double(pixels) * 72.0 / dpi; }

double millimetres(long long pixels, double dpi) { return round_half_even(points(pixels, dpi) * 25.4 / 72.0, 3); }

// Where a box of the canvas lies on the page, in millimetres.
std::array<double, 4> box_on_page(const PixelBox& box, double dpi) {
    return {millimetres(box.x - CANVAS_MARGIN, dpi),
            millimetres(box.y - CANVAS_MARGIN, dpi),
            millimetres(box.width, dpi),
            millimetres(box.height, dpi)};
}

// The same in the points of the page's text.
pdf::Rect area_in_points(const PixelBox& box, double dpi) {
    const long long left = box.x - CANVAS_MARGIN, top = box.y - CANVAS_MARGIN;
    return {points(left, dpi), points(top, dpi), points(left + box.width, dpi), points(top + box.height, dpi)};
}

// The text cut after MAX_TEXT_CHARACTERS; `used` counts the page's characters kept.
std::string cut(const std::string& text, std::size_t& used) {
    std::u32string characters = decode_utf8(text);
    if (characters.size() > MAX_TEXT_CHARACTERS) characters = characters.substr(0, MAX_TEXT_CHARACTERS) + U"…";
    used += characters.size();
    return encode_utf8(characters);
}

}  // namespace

void bound_words(std::vector<Change>& changes) {
    std::size_t used = 0;
    for (Change& change : changes) {
        const bool left_out = used >= MAX_PAGE_TEXT_CHARACTERS;
        for (std::string* text :
             {&change.words.old_text, &change.words.new_text, &change.words.old_span, &change.words.new_span})
            if (!text->empty()) *text = left_out ? "…" : cut(*text, used);
    }
}

PageChanges find_changes(const std::filesystem::path& before_pdf, const std::filesystem::path& after_pdf, int page,
                         double dpi, const std::vector<cv::Rect>& regions) {
    std::vector<PixelBox> boxes;
    boxes.reserve(regions.size());
    for (const cv::Rect& r : regions) boxes.push_back({r.x, r.y, r.width, r.height});
    std::vector<BoxGroup> groups = group_changes(boxes, change_gap_pixels(dpi));
    PageChanges changes;
    if (groups.empty()) return changes;
    if (groups.size() > MAX_LISTED_CHANGES) {
        changes.left_out = static_cast<long long>(groups.size() - MAX_LISTED_CHANGES);
        groups.resize(MAX_LISTED_CHANGES);
    }
    const auto [before, after] =
        at_once([&] { return pdf::page_text(before_pdf, page); }, [&] { return pdf::page_text(after_pdf, page); });
    std::size_t work = 0;
    for (const BoxGroup& group : groups)
        changes.listed.push_back({group.box,
                                  box_on_page(group.box, dpi),
                                  group.members,
                                  work < MAX_WORD_SEARCH
                                      ? change_words(before, after, area_in_points(group.box, dpi), work)
                                      : ChangeWords{"…", "…", "", ""}});
    bound_words(changes.listed);
    return changes;
}

}  // namespace tesmira::engine
