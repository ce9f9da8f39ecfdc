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

// The first `named` plates, "・" between them, and "ほか" when some are left out.
std::string plate_list(const std::vector<std::string>& plates, std::size_t named) {
    std::string text;
    for (std::size_t i = 0; i < named; ++i) text += (i ? "・" : "") + plate_label(plates[i]);
    return text + (named < plates.size() ? "ほか" : "");
}

std::string ink_only_text(int regions, const std::vector<std::string>& plates, std::size_t named) {
    const std::string text = "見た目は同じで版だけが異なる変更が" + std::to_string(regions) + "か所あります";
    return named == 0 ? text + "。" : text + "（" + plate_list(plates, named) + "）。";
}

std::string look_only_text(const std::vector<std::string>& inks, std::size_t named) {
    return "版は同じで、" + (named == 0 ? std::string() : plate_list(inks, named) + "の") + "表示色だけが異なります。";
}

// Draws in `margin`, a white margin of the result, the note that `text` gives naming the first
// `named` of `names` plates: at the band's size, or down to SMALLEST_SHARE of it, naming every
// plate; then naming fewer.
template <typename Text>
void draw_note(cv::Mat margin, std::size_t names, const Text& text, double dpi) {
    const double width = double(margin.cols) - CANVAS_MARGIN - INSET;
    const int largest = int(round_to_int(14 * dpi / 144));
    const int smallest = std::max(SMALLEST_PIXELS, int(std::ceil(largest * SMALLEST_SHARE)));
    for (std::size_t named = names + 1; named-- > 0;) {
        const std::string line = text(named);
        for (int pixels = largest; pixels >= smallest; --pixels) {
            const BandFont font{pixels};
            if (font.text_width(line) > width) continue;
            font.draw_left_middle(margin, line, CANVAS_MARGIN, CANVAS_MARGIN / 2.0, NOTE_COLOUR);
            return;
        }
    }
    // A page too narrow for even the shortest note keeps its beginning, from the margin's start.
    BandFont{smallest}.draw_left_middle(margin, text(0), INSET, CANVAS_MARGIN / 2.0, NOTE_COLOUR);
}

}  // namespace

void note_ink_only_changes(cv::Mat& result, int regions, const std::vector<std::string>& plates, double dpi) {
    if (regions == 0) return;
    draw_note(
        result.rowRange(result.rows - CANVAS_MARGIN, result.rows),
        plates.size(),
        [&](std::size_t named) { return ink_only_text(regions, plates, named); },
        dpi);
}

void note_look_only_changes(cv::Mat& result, int places, const std::vector<std::string>& inks, double dpi) {
    if (places == 0) return;
    draw_note(
        result.rowRange(0, CANVAS_MARGIN),
        inks.size(),
        [&](std::size_t named) { return look_only_text(inks, named); },
        dpi);
}

}  // namespace tesmira::engine
