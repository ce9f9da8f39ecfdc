#include "engine/page_job.hpp"

#include <chrono>
#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/json_text.hpp"
#include "common/rounding.hpp"
#include "common/tokyo_clock.hpp"
#include "engine/band.hpp"
#include "engine/compare.hpp"
#include "engine/image_reading.hpp"
#include "engine/ink_comparison.hpp"
#include "engine/limits.hpp"
#include "engine/render.hpp"
#include "engine/tiny_marks.hpp"
#include "grain/image_only_scope.hpp"
#include "grain/noise_candidates.hpp"
#include "png/chunks.hpp"
#include "png/encoder.hpp"

namespace tesmira::engine {
namespace {

using Clock = std::chrono::steady_clock;

const char* const REFERENCE_SCOPE = "刻印・情報欄・試験用補助矩形を除く検版画像本体を比較します。";
const char* const WARNING_QUALITY = "Photoshop同等品質は未検証です。PDF画像化・色管理・選択範囲の再現差が残ります。";
const char* const WARNING_DETECTION = "0.1mmの検出性能を保証する試験はまだ完了していません。";
const char* const WARNING_MOSTLY_CHANGED =
    "ページの大部分が反応しています。原稿の組合せ・書出し設定を確認してください。";
const char* const REFERENCE_OTHER_SIZE = "画像サイズが異なるため数値比較しません。自動リサイズはしていません。";
constexpr int MAX_RGB_DIFFERENCE = 2;

double seconds_between(Clock::time_point from, Clock::time_point to) {
    return round_half_even(std::chrono::duration<double>(to - from).count(), 3);
}

// The measured comparison of a reference image with the unmarked result image.
Json check_reference(const std::filesystem::path& path, const cv::Mat& result) {
    // The size comes from the header, so an oversized image is refused before it is decoded.
    if (std::optional<png::PngHeader> header = png::probe_header(path);
        header && static_cast<long long>(header->width) * header->height > MAX_OUTPUT_PIXELS)
        throw UserError("Photoshop比較画像が大きすぎます。1億5000万画素以内にしてください。");
    const cv::Mat reference = read_flattened_rgb(path);
    if (static_cast<long long>(reference.cols) * reference.rows > MAX_OUTPUT_PIXELS)
        throw UserError("Photoshop比較画像が大きすぎます。1億5000万画素以内にしてください。");
    png::write_png(path, reference);

    Json report;
    if (reference.size() != result.size()) {
        report["same_size"] = false;
        report["reference_size"] = Json::array({reference.cols, reference.rows});
        report["message"] = REFERENCE_OTHER_SIZE;
        return report;
    }
    cv::Mat difference;
    cv::absdiff(reference, result, difference);
    const cv::Scalar sums = cv::sum(difference);
    const double mean = (sums[0] + sums[1] + sums[2]) / (double(difference.total()) * 3);
    cv::Mat channel_max;
    cv::Mat channels[3];
    cv::split(difference, channels);
    cv::max(channels[0], channels[1], channel_max);
    cv::max(channel_max, channels[2], channel_max);
    const double exact = double(difference.total() - std::size_t(cv::countNonZero(channel_max)));
    report["same_size"] = true;
    report["mean_absolute_error"] = round_half_even(mean, 3);
    report["exact_pixel_percent"] = round_half_even(exact / double(difference.total()) * 100, 3);
    return report;
}

// The two pages, rendered alike at the same time, each in its own MuPDF context.
std::pair<RenderedPage, RenderedPage> render_pair(const std::filesystem::path& before_pdf,
                                                  const std::filesystem::path& after_pdf, const PageSettings& s) {
    auto pages = render_pages(before_pdf, after_pdf, s.page, s.dpi);
    const PageInfo &before = pages.first.info, &after = pages.second.info;
    if (std::abs(before.width_mm - after.width_mm) > 0.01 || std::abs(before.height_mm - after.height_mm) > 0.01)
        throw UserError("新旧PDFの仕上がりサイズが異なります。");
    return pages;
}

CompareOptions strict_options(const PageSettings& s, const std::optional<InkComparison>& inks) {
    CompareOptions options;
    options.tolerance = s.tolerance;
    options.opacity = s.opacity;
    options.border = s.border;
    options.padded_pages = s.diagnostic_images;
    if (inks) options.printed = inks->printed();
    return options;
}

// Two pages compared with the options, what their plates alone tell noted on the result.
CompareResult compare_with_inks(const RenderedPage& before, const RenderedPage& after, const CompareOptions& options,
                                const std::optional<InkComparison>& inks, double dpi) {
    CompareResult result = compare_arrays(before.pixels, after.pixels, options);
    if (inks) inks->tell(result.result, result, dpi);
    return result;
}

void take_comparison(ComparedPage& page, const CompareResult& result) {
    page.result = result.result;
    page.mask = result.mask;
    page.stats = result.stats;
    page.look_only_places = int(result.look_only.size());
    page.region_boxes = result.region_boxes;
}

Json noise_pass_off(const CompareResult& strict) {
    return Json{{"enabled", false}, {"suppressed_pixels", 0}, {"strict_regions", strict.stats.regions}};
}

// What the noise pass records: the scope's figures, then its counts, in the record's key order.
void record_noise_pass(ComparedPage& page, const grain::NoiseScope& scope, int suppressed,
                       const CompareResult& strict) {
    page.noise.update(scope.stats.to_json());
    page.noise["enabled"] = true;
    page.noise["suppressed_pixels"] = suppressed;
    page.noise["strict_regions"] = strict.stats.regions;
    page.noise["filtered_regions"] = page.stats.regions;
    page.noise["max_rgb_difference"] = MAX_RGB_DIFFERENCE;
}

// The banded strict image, encoded now, so that its cost counts as comparison time; the file
// is written first among the page's files. The band goes above the image in the file, not in
// memory.
void encode_strict(ComparedPage& page, const cv::Mat& strict) {
    const cv::Mat band = information_band(strict.cols, page.settings.band, page.checked_at);
    page.strict_png = png::encode_png(std::vector<cv::Mat>{band, strict});
}

// The noise pass: the comparison again, with the noise candidates ignored and the image-only
// scope compared pixel by pixel. The page takes its result; the strict one is kept, encoded.
void run_noise_pass(ComparedPage& page, const std::filesystem::path& before_pdf, const std::filesystem::path& after_pdf,
                    const RenderedPage& before, const RenderedPage& after, const CompareResult& strict,
                    const std::optional<InkComparison>& inks) {
    const PageSettings& s = page.settings;
    const int dpi = int(s.dpi);
    grain::NoiseScope scope =
        grain::image_only_scope(before_pdf, after_pdf, s.page, before.pixels.rows, before.pixels.cols, dpi);
    cv::Mat candidates = grain::noise_candidates(before.pixels, after.pixels, scope.mask, dpi, s.tolerance);
    // Noise moves no plate further than it moves the screen's colours.
    if (inks) candidates.setTo(0, inks->printed().ink_difference > MAX_RGB_DIFFERENCE);
    CompareOptions options = strict_options(s, inks);
    options.padded_pages = false;
    options.ignored_pixels = candidates;
    options.direct_scope = scope.mask;
    take_comparison(page, compare_with_inks(before, after, options, inks, s.dpi));
    record_noise_pass(page, scope, cv::countNonZero(candidates), strict);
    encode_strict(page, strict.result);
}

void mark_tiny(ComparedPage& page) {
    page.tiny_marks = TinyMarks::disabled_json();
    page.published = page.result;
    if (!page.settings.tiny_markers) return;
    MarkedImage marked = mark_tiny_changes(page.result, page.mask, page.settings.dpi);
    page.published = marked.image;
    page.tiny_marks = marked.marks.to_json();
}

ComparedPage started_page(const PageSettings& settings) {
    ComparedPage page;
    page.started = Clock::now();
    page.checked_at = tokyo_now();
    page.settings = settings;
    return page;
}

// After the comparisons: the tiny markers, the padded pages kept for the diagnostic images
// (the mask is dropped without them), the time.
void finish_comparison(ComparedPage& page, const cv::Mat& before_padded, const cv::Mat& after_padded) {
    mark_tiny(page);
    if (page.settings.diagnostic_images) {
        page.before_padded = before_padded;
        page.after_padded = after_padded;
    } else {
        page.mask.release();
    }
    page.compared = Clock::now();
}

}  // namespace

ComparedPage compare_page(const std::filesystem::path& folder, const PageSettings& settings) {
    return compare_page(folder / "before.pdf", folder / "after.pdf", settings);
}

ComparedPage compare_page(const std::filesystem::path& before_pdf, const std::filesystem::path& after_pdf,
                          const PageSettings& settings) {
    ComparedPage page = started_page(settings);
    const PageSettings& s = page.settings;

    auto [before, after] = render_pair(before_pdf, after_pdf, s);
    page.rendered = Clock::now();
    page.before_info = before.info.to_json();
    page.after_info = after.info.to_json();

    const std::optional<InkComparison> inks = InkComparison::of(before, after, s.tolerance);
    const CompareResult strict = compare_with_inks(before, after, strict_options(s, inks), inks, s.dpi);
    take_comparison(page, strict);
    page.noise = noise_pass_off(strict);
    if (s.noise) run_noise_pass(page, before_pdf, after_pdf, before, after, strict, inks);
    page.changes = find_changes(before_pdf, after_pdf, s.page, s.dpi, page.region_boxes);
    finish_comparison(page, strict.before_padded, strict.after_padded);
    return page;
}

ComparedPage compare_identical_page(const std::filesystem::path& before_pdf, const std::filesystem::path& after_pdf,
                                    const PageSettings& settings) {
    ComparedPage page = started_page(settings);
    const PageSettings& s = page.settings;
    std::optional<RenderedPage> after;
    try {
        after = render_pdf(after_pdf, s.page, s.dpi);
    } catch (const std::exception&) {
        // Failing as a comparison of the two pages fails: the old page's failure first.
        return compare_page(before_pdf, after_pdf, settings);
    }
    page.rendered = Clock::now();
    page.before_info = page.after_info = after->info.to_json();

    // As the comparison shows the new page: a page on its plates is drawn in their shown colours.
    const CompareResult strict = unchanged_result(after->pixels, s.opacity);
    after->plates.reset();
    take_comparison(page, strict);
    page.noise = noise_pass_off(strict);
    if (s.noise) {
        // The scope is the PDFs'; equal pixels hold no noise, and the strict image is the result.
        const grain::NoiseScope scope =
            grain::image_only_scope(before_pdf, after_pdf, s.page, after->pixels.rows, after->pixels.cols, int(s.dpi));
        record_noise_pass(page, scope, 0, strict);
        page.strict_is_published = true;
    }
    cv::Mat padded;
    if (s.diagnostic_images) padded = padded_page(after->pixels);
    finish_comparison(page, padded, padded);
    return page;
}

namespace {

// The page's record as result.json holds it, timed up to now.
Json page_record(const ComparedPage& page, int band_rows, const Json& reference) {
    Json record;
    record["settings"] = page.settings.recorded;
    record["before"] = page.before_info;
    record["after"] = page.after_info;
    record.update(page.stats.to_json());
    record["tiny_marks"] = page.tiny_marks;
    record["grain"] = page.noise;
    record["created_at"] = iso_format(page.checked_at);
    record["header_height"] = band_rows;
    record["reference_scope"] = REFERENCE_SCOPE;
    record["render_seconds"] = seconds_between(page.started, page.rendered);
    record["compare_seconds"] = seconds_between(page.rendered, page.compared);
    record["total_seconds"] = seconds_between(page.started, Clock::now());
    record["reference"] = reference;
    Json warnings = Json::array({WARNING_QUALITY, WARNING_DETECTION});
    if (page.stats.changed_percent > 90) warnings.push_back(WARNING_MOSTLY_CHANGED);
    record["warnings"] = warnings;
    record["look_only_places"] = page.look_only_places;
    record.update(page.changes.to_json());
    return record;
}

// The banded result image, encoded.
std::string banded_result(const ComparedPage& page, int& band_rows) {
    const cv::Mat band = information_band(page.published.cols, page.settings.band, page.checked_at);
    band_rows = band.rows;
    return png::encode_png(std::vector<cv::Mat>{band, page.published});
}

}  // namespace

Json save_page(const std::filesystem::path& folder, ComparedPage page) {
    int band_rows = 0;
    const std::string result_png = banded_result(page, band_rows);
    if (page.strict_is_published) page.strict_png = result_png;
    if (page.strict_png) png::write_png_file(folder / "strict.png", *page.strict_png);
    png::write_png_file(folder / "result.png", result_png);
    page.published.release();
    if (page.settings.diagnostic_images) {
        png::write_png(folder / "mask.png", page.mask);
        png::write_png(folder / "before.png", page.before_padded);
        png::write_png(folder / "after.png", page.after_padded);
    }

    Json reference;  // null without a reference image
    if (const auto path = folder / "reference.png"; std::filesystem::exists(path))
        reference = check_reference(path, page.result);

    const Json record = page_record(page, band_rows, reference);
    write_text_file(folder / "result.json", indented_json(record));
    return record;
}

FinishedPage finish_page(ComparedPage page) {
    FinishedPage finished;
    finished.strict_png = std::move(page.strict_png);
    int band_rows = 0;
    finished.result_png = banded_result(page, band_rows);
    if (page.strict_is_published) finished.strict_png = finished.result_png;
    page.published.release();
    page.result.release();
    finished.record = page_record(page, band_rows, Json());
    return finished;
}

Json run_job(const std::filesystem::path& folder, const Json& settings) {
    return save_page(folder, compare_page(folder, read_page_settings(settings)));
}

}  // namespace tesmira::engine
