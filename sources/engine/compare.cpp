#include "engine/compare.hpp"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "common/errors.hpp"
#include "common/rounding.hpp"
#include "common/settings_schema.hpp"
#include "engine/strips.hpp"

namespace tesmira::engine {
namespace {

constexpr std::size_t MAX_CONTOURS = 100'000;
constexpr std::size_t MAX_BOXES = 200;

using Contours = std::vector<std::vector<cv::Point>>;

// The largest of the three channel differences of each of `count` pixels.
void largest_channel_difference(const uchar* before, const uchar* after, int count, uchar* out) {
    int c = 0;
#if CV_SIMD
    using namespace cv;
    for (; c + v_uint8::nlanes <= count; c += v_uint8::nlanes) {
        v_uint8 b0, b1, b2, a0, a1, a2;
        v_load_deinterleave(before + 3 * c, b0, b1, b2);
        v_load_deinterleave(after + 3 * c, a0, a1, a2);
        v_store(out + c, v_max(v_absdiff(b0, a0), v_max(v_absdiff(b1, a1), v_absdiff(b2, a2))));
    }
#endif
    for (; c < count; ++c) {
        const uchar* b = before + 3 * c;
        const uchar* a = after + 3 * c;
        out[c] = uchar(std::max({std::abs(b[0] - a[0]), std::abs(b[1] - a[1]), std::abs(b[2] - a[2])}));
    }
}

// Largest absolute channel difference per pixel, on the canvas: the margins, white on both
// pages, do not differ.
cv::Mat difference_map(const cv::Mat& before, const cv::Mat& after) {
    const int m = CANVAS_MARGIN;
    cv::Mat diff(before.rows + 2 * m, before.cols + 2 * m, CV_8UC1);
    for_each_strip(diff.rows, [&](cv::Range rows) {
        for (int r = rows.start; r < rows.end; ++r) {
            uchar* line = diff.ptr<uchar>(r);
            if (r < m || r >= m + before.rows) {
                std::memset(line, 0, std::size_t(diff.cols));
                continue;
            }
            std::memset(line, 0, std::size_t(m));
            largest_channel_difference(before.ptr(r - m), after.ptr(r - m), before.cols, line + m);
            std::memset(line + m + before.cols, 0, std::size_t(m));
        }
    });
    return diff;
}

// Within the page area of `mask`, pixels where `scope` is set keep only truly differing pixels.
void reduce_to_differing(cv::Mat& mask, const cv::Mat& diff, const cv::Mat& scope, int tolerance) {
    for (int r = 0; r < scope.rows; ++r) {
        const uchar* in_scope = scope.ptr<uchar>(r);
        const uchar* d = diff.ptr<uchar>(r + CANVAS_MARGIN) + CANVAS_MARGIN;
        uchar* m = mask.ptr<uchar>(r + CANVAS_MARGIN) + CANVAS_MARGIN;
        for (int c = 0; c < scope.cols; ++c)
            if (in_scope[c]) m[c] = std::min<uchar>(m[c], d[c] > tolerance ? 255 : 0);
    }
}

// The fade towards white, evaluated in single precision as the comparison has always done.
cv::Mat fade_table(int opacity) {
    const double a = opacity / 100.0;
    const float base = static_cast<float>(255.0 * (1.0 - a));
    const float a32 = static_cast<float>(a);
    cv::Mat table(1, 256, CV_8U);
    for (int v = 0; v < 256; ++v) {
        volatile float product = static_cast<float>(v) * a32;  // no fused multiply-add
        float s = base + product;
        table.at<uchar>(v) = static_cast<uchar>(std::clamp<long long>(round_to_int(s), 0, 255));
    }
    return table;
}

bool same_page_size(const cv::Mat& mask, const cv::Mat& page) {
    return mask.rows == page.rows && mask.cols == page.cols && mask.channels() == 1;
}

// Replaces `diff` within the page by the plates' difference; returns where it was above the
// tolerance before (canvas pixels, 0/255): where the pages look different.
cv::Mat decide_on_plates(cv::Mat& diff, const PrintedPages& printed, const cv::Mat& page, int tolerance) {
    CV_Assert(same_page_size(printed.ink_difference, page));
    cv::Mat looks(diff.size(), CV_8U);
    for_each_strip(diff.rows, [&](cv::Range rows) {
        cv::Mat seen = looks.rowRange(rows);
        cv::compare(diff.rowRange(rows), tolerance, seen, cv::CMP_GT);
        // The strip's rows of the page, if any.
        const int top = std::clamp(CANVAS_MARGIN, rows.start, rows.end);
        const int bottom = std::clamp(CANVAS_MARGIN + page.rows, rows.start, rows.end);
        if (top == bottom) return;
        printed.ink_difference.rowRange(top - CANVAS_MARGIN, bottom - CANVAS_MARGIN)
            .copyTo(diff(cv::Range(top, bottom), cv::Range(CANVAS_MARGIN, CANVAS_MARGIN + page.cols)));
    });
    return looks;
}

// The bounding boxes of the polygons that hold no pixel of `looks`.
std::vector<cv::Rect> ink_only_regions(const Contours& polygons, const cv::Mat& looks) {
    std::vector<cv::Rect> found;
    for (const auto& polygon : polygons) {
        const cv::Rect box = cv::boundingRect(polygon);
        cv::Mat inside = cv::Mat::zeros(box.size(), CV_8U);
        cv::fillPoly(inside, std::vector<std::vector<cv::Point>>{polygon}, cv::Scalar(255), cv::LINE_8, 0, -box.tl());
        cv::bitwise_and(inside, looks(box), inside);
        if (cv::countNonZero(inside) == 0) found.push_back(box);
    }
    return found;
}

// The bounding boxes of the places outside every region where the pages look different while
// their plates are the same.
std::vector<cv::Rect> look_only_places(const cv::Mat& looks, const cv::Mat& region_mask, const PrintedPages& printed) {
    const cv::Rect page_area(cv::Point(CANVAS_MARGIN, CANVAS_MARGIN), printed.ink_difference.size());
    cv::Mat places = looks(page_area) & ~region_mask(page_area) & (printed.ink_difference == 0);
    Contours contours;
    cv::findContours(places, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    std::vector<cv::Rect> found;
    for (const auto& contour : contours) found.push_back(cv::boundingRect(contour) + page_area.tl());
    return found;
}

}  // namespace

cv::Mat padded_page(const cv::Mat& page) {
    const int m = CANVAS_MARGIN;
    cv::Mat canvas(page.rows + 2 * m, page.cols + 2 * m, page.type());
    const std::size_t margin_bytes = std::size_t(m) * page.elemSize();
    const std::size_t page_bytes = std::size_t(page.cols) * page.elemSize();
    for_each_strip(canvas.rows, [&](cv::Range rows) {
        for (int r = rows.start; r < rows.end; ++r) {
            uchar* line = canvas.ptr(r);
            if (r < m || r >= m + page.rows) {
                std::memset(line, 255, canvas.cols * page.elemSize());
                continue;
            }
            std::memset(line, 255, margin_bytes);
            std::memcpy(line + margin_bytes, page.ptr(r - m), page_bytes);
            std::memset(line + margin_bytes + page_bytes, 255, margin_bytes);
        }
    });
    return canvas;
}

namespace {

void check_inputs(const cv::Mat& before, const cv::Mat& after, const CompareOptions& options) {
    if (before.size != after.size || before.channels() != after.channels() || before.type() != after.type())
        throw UserError("新旧PDFの仕上がりサイズが異なります。自動拡大・縮小は行いません。");
    if (!TOLERANCE_RANGE.contains(options.tolerance) || !OPACITY_RANGE.contains(options.opacity) ||
        !BORDER_RANGE.contains(options.border))
        throw UserError("比較設定が範囲外です。");
    CV_Assert(before.type() == CV_8UC3);
}

// The difference map on the canvas, of the plates for printed pages, cleared of the ignored
// pixels; and for printed pages where they look different.
struct Differences {
    cv::Mat diff, looks;
};

Differences find_differences(const cv::Mat& before, const cv::Mat& after, const CompareOptions& options) {
    Differences found{difference_map(before, after), cv::Mat()};
    if (options.printed) found.looks = decide_on_plates(found.diff, *options.printed, before, options.tolerance);
    if (options.ignored_pixels) {
        if (!same_page_size(*options.ignored_pixels, before)) throw UserError("軽減範囲のサイズが一致しません。");
        const cv::Rect page_area(CANVAS_MARGIN, CANVAS_MARGIN, before.cols, before.rows);
        found.diff(page_area).setTo(0, *options.ignored_pixels);
        if (!found.looks.empty()) found.looks(page_area).setTo(0, *options.ignored_pixels);
    }
    return found;
}

// The simplified outer contours of the pixels above the tolerance. The outer contours of the
// changed pixels are those of the changes with their enclosed pixels filled: the unchanged
// pixels that no horizontal and vertical steps connect to the margin are exactly the holes
// that outer contours leave out. Filling the polygons fills them.
Contours region_polygons(const cv::Mat& diff, const CompareOptions& options) {
    cv::Mat changed(diff.size(), CV_8U);
    for_each_strip(diff.rows, [&](cv::Range rows) {
        cv::Mat strip = changed.rowRange(rows);
        cv::compare(diff.rowRange(rows), options.tolerance, strip, cv::CMP_GT);
    });
    Contours contours;
    cv::findContours(changed, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    if (contours.size() > MAX_CONTOURS)
        throw UserError("差分の断片が多すぎます。書出し条件を揃えるか、許容値を少し上げてください。");
    Contours polygons(contours.size());
    for (std::size_t i = 0; i < contours.size(); ++i)
        cv::approxPolyDP(contours[i], polygons[i], options.path_tolerance, true);
    return polygons;
}

// Within the direct scope, a region keeps only its own differing pixels; the regions are
// then the outer contours of what is left.
Contours reduce_to_direct_scope(cv::Mat& region_mask, const cv::Mat& diff, const cv::Mat& before,
                                const CompareOptions& options) {
    if (!same_page_size(*options.direct_scope, before)) throw UserError("画像範囲のサイズが一致しません。");
    reduce_to_differing(region_mask, diff, *options.direct_scope, options.tolerance);
    Contours reduced;
    cv::findContours(region_mask, reduced, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    if (reduced.size() > MAX_CONTOURS) throw UserError("画像内の差分が多すぎます。厳密比較を使用してください。");
    return reduced;
}

// The faded new page on the canvas, the regions at full colour. The regions lie
// inside the page area, so the margin is faded white throughout.
cv::Mat faded_result(const cv::Mat& after, const cv::Mat& region_mask, int opacity) {
    const int m = CANVAS_MARGIN;
    const cv::Mat table = fade_table(opacity);
    const uchar faded_white = table.at<uchar>(255);
    cv::Mat result(region_mask.size(), after.type());
    for_each_strip(result.rows, [&](cv::Range rows) {
        // The strip's rows of the page, if any: [top, bottom).
        const int top = std::clamp(m, rows.start, rows.end);
        const int bottom = std::clamp(m + after.rows, rows.start, rows.end);
        const cv::Range page_columns(m, m + after.cols), page_rows(top, bottom);
        const auto fade_margin = [&](cv::Mat area) { area.setTo(cv::Scalar::all(faded_white)); };
        fade_margin(result.rowRange(rows.start, top));
        fade_margin(result.rowRange(bottom, rows.end));
        if (top == bottom) return;
        fade_margin(result(page_rows, cv::Range(0, m)));
        fade_margin(result(page_rows, cv::Range(page_columns.end, result.cols)));
        const cv::Mat new_rows = after.rowRange(top - m, bottom - m);
        cv::Mat target = result(page_rows, page_columns);
        cv::LUT(new_rows, table, target);
        new_rows.copyTo(target, region_mask(page_rows, page_columns));
    });
    return result;
}

// The red outline: grow pixels outside the region's edge and shrink pixels inside it. Each
// strip grows and shrinks its own rows; a filter on a strip of the mask reads the neighbouring
// rows of the whole mask, so the strips give the whole mask's result.
void draw_outlines(cv::Mat& result, const cv::Mat& region_mask, int border) {
    const int grow = (border + 1) / 2;
    const int shrink = border / 2;
    const cv::Mat grow_kernel = cv::Mat::ones(2 * grow + 1, 2 * grow + 1, CV_8U);
    const cv::Mat shrink_kernel = cv::Mat::ones(2 * shrink + 1, 2 * shrink + 1, CV_8U);
    const cv::Scalar red(255, 0, 0);
    for_each_strip(result.rows, [&](cv::Range rows) {
        const cv::Mat region_rows = region_mask.rowRange(rows);
        cv::Mat grown, shrunk, outline;
        cv::dilate(region_rows, grown, grow_kernel);
        if (shrink > 0)
            cv::erode(region_rows, shrunk, shrink_kernel);
        else
            shrunk = region_rows;
        cv::compare(grown, shrunk, outline, cv::CMP_GT);
        result.rowRange(rows).setTo(red, outline);
    });
}

std::vector<cv::Rect> bounding_boxes(const Contours& polygons) {
    std::vector<cv::Rect> boxes;
    boxes.reserve(polygons.size());
    for (const auto& polygon : polygons) boxes.push_back(cv::boundingRect(polygon));
    return boxes;
}

CompareStats region_stats(const std::vector<cv::Rect>& region_boxes, const cv::Mat& region_mask) {
    CompareStats stats;
    stats.regions = static_cast<int>(region_boxes.size());
    stats.changed_pixels = cv::countNonZero(region_mask);
    stats.changed_percent = round_half_even(100.0 * double(stats.changed_pixels) / double(region_mask.total()), 4);
    for (std::size_t i = 0; i < region_boxes.size() && i < MAX_BOXES; ++i) {
        const cv::Rect& r = region_boxes[i];
        stats.boxes.push_back({r.x, r.y, r.width, r.height});
    }
    stats.boxes_truncated = region_boxes.size() > MAX_BOXES;
    return stats;
}

}  // namespace

CompareResult compare_arrays(const cv::Mat& before, const cv::Mat& after, const CompareOptions& options) {
    check_inputs(before, after, options);
    CompareResult out;
    if (options.padded_pages) {
        out.before_padded = padded_page(before);
        out.after_padded = padded_page(after);
    }
    Differences found = find_differences(before, after, options);
    Contours polygons = region_polygons(found.diff, options);
    cv::Mat region_mask = cv::Mat::zeros(found.diff.size(), CV_8U);
    cv::drawContours(region_mask, polygons, -1, cv::Scalar(255), cv::FILLED);
    if (options.direct_scope) polygons = reduce_to_direct_scope(region_mask, found.diff, before, options);
    found.diff.release();
    if (options.printed) {
        out.ink_only = ink_only_regions(polygons, found.looks);
        if (options.printed->restyled) out.look_only = look_only_places(found.looks, region_mask, *options.printed);
    }
    found.looks.release();

    out.result = faded_result(after, region_mask, options.opacity);
    draw_outlines(out.result, region_mask, options.border);
    out.region_boxes = bounding_boxes(polygons);
    out.stats = region_stats(out.region_boxes, region_mask);
    out.mask = std::move(region_mask);
    return out;
}

CompareResult unchanged_result(const cv::Mat& shown, int opacity) {
    if (!OPACITY_RANGE.contains(opacity)) throw UserError("比較設定が範囲外です。");
    CV_Assert(shown.type() == CV_8UC3);
    CompareResult out;
    out.mask = cv::Mat::zeros(shown.rows + 2 * CANVAS_MARGIN, shown.cols + 2 * CANVAS_MARGIN, CV_8U);
    out.result = faded_result(shown, out.mask, opacity);
    return out;
}

}  // namespace tesmira::engine
