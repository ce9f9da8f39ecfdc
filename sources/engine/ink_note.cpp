#include "engine/ink_note.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/rounding.hpp"
#include "common/unicode.hpp"
#include "engine/compare.hpp"
#include "engine/font.hpp"
#include "engine/ink_plates.hpp"

namespace tesmira::engine {
namespace {

const cv::Vec3b NOTE_COLOUR(200, 0, 0);
constexpr int SMALLEST_PIXELS = 10;
constexpr double SMALLEST_SHARE = 0.7;  // of the band's size
constexpr double INSET = 8;             // kept free at the margin's ends

// A spot ink's name as text: bytes that are not UTF-8 as "#xx", control characters left out.
std::string readable(const std::string& name) {
    std::u32string out;
    for (char32_t c : decode_utf8(name)) {
        if (c >= 0xDC80 && c <= 0xDCFF) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "#%02X", unsigned(c - 0xDC00));
            for (const char* h = hex; *h; ++h) out.push_back(char32_t(*h));
        } else if (!is_category_c(c)) {
            out.push_back(c);
        }
    }
    return encode_utf8(out);
}

std::string plate_label(const std::string& name) {
    static const char* const LETTERS[] = {"C", "M", "Y", "K"};
    for (std::size_t i = 0; i < PROCESS_INKS.size(); ++i)
        if (name == PROCESS_INKS[i]) return std::string(LETTERS[i]) + "版";
    return "特色「" + readable(name) + "」";
}

// The note naming the first `named` plates, and "ほか" when some are left out.
std::string note_text(int regions, const std::vector<std::string>& plates, std::size_t named) {
    std::string text = "見た目は同じで版だけが異なる変更が" + std::to_string(regions) + "か所あります";
    if (named == 0) return text + "。";
    text += "（";
    for (std::size_t i = 0; i < named; ++i) text += (i ? "・" : "") + plate_label(plates[i]);
    return text + (named < plates.size() ? "ほか）。" : "）。");
}

}  // namespace

void note_ink_only_changes(cv::Mat& result, int regions, const std::vector<std::string>& plates, double dpi) {
    if (regions == 0) return;
    cv::Mat margin = result.rowRange(result.rows - CANVAS_MARGIN, result.rows);
    const double width = double(margin.cols) - CANVAS_MARGIN - INSET;
    // The band's size, or down to SMALLEST_SHARE of it, naming every plate; then fewer plates.
    const int largest = int(round_to_int(14 * dpi / 144));
    const int smallest = std::max(SMALLEST_PIXELS, int(std::ceil(largest * SMALLEST_SHARE)));
    for (std::size_t named = plates.size() + 1; named-- > 0;) {
        const std::string text = note_text(regions, plates, named);
        for (int pixels = largest; pixels >= smallest; --pixels) {
            const BandFont font{pixels};
            if (font.text_width(text) > width) continue;
            font.draw_left_middle(margin, text, CANVAS_MARGIN, CANVAS_MARGIN / 2.0, NOTE_COLOUR);
            return;
        }
    }
    // A page too narrow for even the shortest note keeps its beginning, from the margin's start.
    BandFont{smallest}.draw_left_middle(margin, note_text(regions, plates, 0), INSET, CANVAS_MARGIN / 2.0, NOTE_COLOUR);
}

}  // namespace tesmira::engine
