#include "engine/ink_plates.hpp"

#include <opencv2/core/hal/intrin.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/cmyk_to_rgb.hpp"
#include "engine/strips.hpp"

namespace tesmira::engine {
namespace {

constexpr int PROCESS = int(PROCESS_INKS.size());
static_assert(STRIP_ROWS % INK_CELL == 0, "a strip holds whole rows of cells, so strips share no cell");

// One ink as the two pages hold it: its channel on each side, −1 where the page lacks it.
struct MatchedInk {
    std::string name;
    int before = -1, after = -1;
    bool restyled = false;  // a spot ink of both sides whose alternate differs
};

int spot_channel(const InkPlates& plates, const std::string& name) {
    for (std::size_t i = 0; i < plates.spots.size(); ++i)
        if (plates.spots[i].name == name) return PROCESS + int(i);
    return -1;
}

bool same_spots(const InkPlates& before, const InkPlates& after) {
    if (before.spots.size() != after.spots.size()) return false;
    for (std::size_t i = 0; i < before.spots.size(); ++i)
        if (before.spots[i].name != after.spots[i].name) return false;
    return true;
}

// The same inks in the same channels, each looking the same: equal plates look the same.
bool same_looks(const InkPlates& before, const InkPlates& after) {
    if (!same_spots(before, after)) return false;
    for (std::size_t i = 0; i < before.spots.size(); ++i)
        if (before.spots[i].looks != after.spots[i].looks) return false;
    return true;
}

const SpotInk& spot_of(const InkPlates& plates, int channel) { return plates.spots[std::size_t(channel - PROCESS)]; }

std::vector<MatchedInk> matched_inks(const InkPlates& before, const InkPlates& after) {
    std::vector<MatchedInk> inks;
    for (int i = 0; i < PROCESS; ++i) inks.push_back({PROCESS_INKS[std::size_t(i)], i, i});
    for (const SpotInk& spot : before.spots) {
        MatchedInk ink{spot.name, spot_channel(before, spot.name), spot_channel(after, spot.name)};
        ink.restyled = ink.after >= 0 && spot.looks != spot_of(after, ink.after).looks;
        inks.push_back(ink);
    }
    for (const SpotInk& spot : after.spots)
        if (spot_channel(before, spot.name) < 0) inks.push_back({spot.name, -1, spot_channel(after, spot.name)});
    return inks;
}

// One row of both pages: `channels` bytes a pixel on each side.
struct PlateRow {
    const uchar* before;
    int before_channels;
    const uchar* after;
    int after_channels;
    int count;

    int coverage(const uchar* row, int channels, int channel, int c) const {
        return channel < 0 ? 0 : row[c * channels + channel];
    }
    int difference(const MatchedInk& ink, int c) const {
        return std::abs(coverage(before, before_channels, ink.before, c) -
                        coverage(after, after_channels, ink.after, c));
    }
};

// The usual case, process inks alone on both sides, four channels at a time.
void process_difference(const uchar* before, const uchar* after, int count, uchar* out) {
    int c = 0;
#if CV_SIMD
    using namespace cv;
    for (; c + v_uint8::nlanes <= count; c += v_uint8::nlanes) {
        v_uint8 b0, b1, b2, b3, a0, a1, a2, a3;
        v_load_deinterleave(before + 4 * c, b0, b1, b2, b3);
        v_load_deinterleave(after + 4 * c, a0, a1, a2, a3);
        v_store(out + c,
                v_max(v_max(v_absdiff(b0, a0), v_absdiff(b1, a1)), v_max(v_absdiff(b2, a2), v_absdiff(b3, a3))));
    }
#endif
    for (; c < count; ++c) {
        const uchar* b = before + 4 * c;
        const uchar* a = after + 4 * c;
        out[c] = uchar(
            std::max({std::abs(b[0] - a[0]), std::abs(b[1] - a[1]), std::abs(b[2] - a[2]), std::abs(b[3] - a[3])}));
    }
}

void ink_difference_row(const PlateRow& row, const std::vector<MatchedInk>& inks, uchar* out) {
    if (row.before_channels == PROCESS && row.after_channels == PROCESS) {
        process_difference(row.before, row.after, row.count, out);
        return;
    }
    std::memset(out, 0, std::size_t(row.count));
    for (const MatchedInk& ink : inks)
        for (int c = 0; c < row.count; ++c) out[c] = std::max(out[c], uchar(row.difference(ink, c)));
}

// Sets the bit of every ink that differs in the row in its cell.
void note_differing_inks(const PlateRow& row, const std::vector<MatchedInk>& inks, int tolerance,
                         std::uint64_t* cells) {
    for (std::size_t i = 0; i < inks.size(); ++i)
        for (int c = 0; c < row.count; ++c)
            if (row.difference(inks[i], c) > tolerance) cells[c / INK_CELL] |= std::uint64_t(1) << i;
}

// Sets the bit of every restyled ink that covers some of the row on either side in its cell.
void note_restyled_inks(const PlateRow& row, const std::vector<MatchedInk>& inks, std::uint64_t* cells) {
    for (std::size_t i = 0; i < inks.size(); ++i) {
        if (!inks[i].restyled) continue;
        for (int c = 0; c < row.count; ++c)
            if (row.coverage(row.before, row.before_channels, inks[i].before, c) > 0 ||
                row.coverage(row.after, row.after_channels, inks[i].after, c) > 0)
                cells[c / INK_CELL] |= std::uint64_t(1) << i;
    }
}

int times(int a, int b) { return (a * b + 127) / 255; }

// The process inks of `count` pixels with their spot inks laid over them through their
// alternates: what is left uncovered multiplies, ink by ink.
void combine_inks(const uchar* plates, int channels, const std::vector<SpotInk>& spots, int count, uchar* cmyk) {
    for (int c = 0; c < count; ++c, plates += channels, cmyk += PROCESS) {
        std::memcpy(cmyk, plates, PROCESS);
        int bare[PROCESS];
        bool covered = false;
        for (std::size_t s = 0; s < spots.size(); ++s) {
            const uchar tint = plates[PROCESS + int(s)];
            if (tint == 0) continue;
            if (!covered)
                for (int i = 0; i < PROCESS; ++i) bare[i] = 255 - plates[i];
            covered = true;
            const auto& look = spots[s].looks[tint];
            for (int i = 0; i < PROCESS; ++i) bare[i] = times(bare[i], 255 - look[std::size_t(i)]);
        }
        if (covered)
            for (int i = 0; i < PROCESS; ++i) cmyk[i] = uchar(255 - bare[i]);
    }
}

// One row of plates, as RGB; `cmyk` holds the row's combined inks when there are spot inks.
void show_row(const uchar* plates, int channels, const std::vector<SpotInk>& spots, int count, uchar* rgb,
              std::vector<uchar>& cmyk) {
    if (channels != PROCESS) {
        cmyk.resize(std::size_t(count) * PROCESS);
        combine_inks(plates, channels, spots, count, cmyk.data());
        plates = cmyk.data();
    }
    cmyk_pixels_to_rgb(plates, rgb, std::size_t(count));
}

}  // namespace

cv::Mat shown_colours(const InkPlates& plates) {
    const cv::Mat& samples = plates.samples;
    cv::Mat rgb(samples.size(), CV_8UC3);
    for_each_strip(rgb.rows, [&](cv::Range rows) {
        std::vector<uchar> cmyk;
        for (int r = rows.start; r < rows.end; ++r)
            show_row(samples.ptr(r), samples.channels(), plates.spots, samples.cols, rgb.ptr(r), cmyk);
    });
    return rgb;
}

std::pair<cv::Mat, cv::Mat> shown_colours(const InkPlates& before, const InkPlates& after) {
    cv::Mat shown_after = shown_colours(after);
    if (before.samples.size() != after.samples.size() || !same_looks(before, after))
        return {shown_colours(before), shown_after};
    const cv::Mat& samples = before.samples;
    const std::size_t row_bytes = std::size_t(samples.cols) * samples.elemSize();
    cv::Mat shown_before(samples.size(), CV_8UC3);
    for_each_strip(samples.rows, [&](cv::Range rows) {
        std::vector<uchar> cmyk;
        for (int r = rows.start; r < rows.end; ++r) {
            if (std::memcmp(samples.ptr(r), after.samples.ptr(r), row_bytes) == 0)
                std::memcpy(shown_before.ptr(r), shown_after.ptr(r), std::size_t(samples.cols) * 3);
            else
                show_row(samples.ptr(r), samples.channels(), before.spots, samples.cols, shown_before.ptr(r), cmyk);
        }
    });
    return {shown_before, shown_after};
}

PlateComparison compare_plates(const InkPlates& before, const InkPlates& after, int tolerance) {
    CV_Assert(before.samples.size() == after.samples.size());
    const std::vector<MatchedInk> inks = matched_inks(before, after);
    CV_Assert(inks.size() <= 64);
    const int rows = before.samples.rows, columns = before.samples.cols;
    const int bn = before.samples.channels(), an = after.samples.channels();
    const bool same_layout = bn == an && same_spots(before, after);
    const bool restyled = std::any_of(inks.begin(), inks.end(), [](const MatchedInk& ink) { return ink.restyled; });

    PlateComparison out;
    for (const MatchedInk& ink : inks) out.inks.push_back(ink.name);
    out.cell_columns = (columns + INK_CELL - 1) / INK_CELL;
    const std::size_t cells = std::size_t(out.cell_columns) * std::size_t((rows + INK_CELL - 1) / INK_CELL);
    out.differing_inks.assign(cells, 0);
    if (restyled) out.restyled_inks.assign(cells, 0);
    out.ink_difference.create(before.samples.size(), CV_8U);
    for_each_strip(rows, [&](cv::Range strip) {
        for (int r = strip.start; r < strip.end; ++r) {
            const PlateRow row{before.samples.ptr(r), bn, after.samples.ptr(r), an, columns};
            const std::size_t first_cell = std::size_t(r / INK_CELL) * std::size_t(out.cell_columns);
            if (restyled) note_restyled_inks(row, inks, &out.restyled_inks[first_cell]);
            uchar* difference = out.ink_difference.ptr<uchar>(r);
            // Most rows of most pages are the same on both sides.
            if (same_layout && std::memcmp(row.before, row.after, std::size_t(columns) * std::size_t(bn)) == 0) {
                std::memset(difference, 0, std::size_t(columns));
                continue;
            }
            ink_difference_row(row, inks, difference);
            if (*std::max_element(difference, difference + columns) > tolerance)
                note_differing_inks(row, inks, tolerance, &out.differing_inks[first_cell]);
        }
    });
    return out;
}

std::vector<std::string> PlateComparison::inks_differing_within(const cv::Rect& area) const {
    return inks_within(differing_inks, area);
}

std::vector<std::string> PlateComparison::inks_restyled_within(const cv::Rect& area) const {
    return restyled_inks.empty() ? std::vector<std::string>() : inks_within(restyled_inks, area);
}

std::vector<std::string> PlateComparison::inks_within(const std::vector<std::uint64_t>& cells,
                                                      const cv::Rect& area) const {
    std::uint64_t found = 0;
    for (int y = area.y / INK_CELL; y <= (area.y + area.height - 1) / INK_CELL; ++y)
        for (int x = area.x / INK_CELL; x <= (area.x + area.width - 1) / INK_CELL; ++x)
            found |= cells[std::size_t(y) * std::size_t(cell_columns) + std::size_t(x)];
    std::vector<std::string> names;
    for (std::size_t i = 0; i < inks.size(); ++i)
        if (found & (std::uint64_t(1) << i)) names.push_back(inks[i]);
    return names;
}

}  // namespace tesmira::engine
