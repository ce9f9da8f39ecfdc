#include "engine/page_job.hpp"

#include <chrono>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "common/at_once.hpp"
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

const Json& required(const Json& settings, const char* key) {
    auto it = settings.find(key);
    if (it == settings.end()) throw MissingSettingError(key);
    return *it;
}

double seconds_between(Clock::time_point from, Clock::time_point to) {
    return round_half_even(std::chrono::duration<double>(to - from).count(), 3);
}

struct PageSettings {
    int page;
    double dpi;
    int tolerance, opacity, border;
    bool grain, tiny_markers, diagnostic_images;
};

PageSettings read_settings(const Json& settings) {
    const Json &page = required(settings, "page"), &dpi = required(settings, "dpi");
    const Json &tolerance = required(settings, "tolerance"), &opacity = required(settings, "opacity");
    const Json& border = required(settings, "border");
    // The resolution is refused before any other value is converted, as the renderer's first
    // check; a value that is not a number (a text, a truth value, a list) is no resolution.
    PageSettings s{};
    s.dpi = dpi.is_number() ? dpi.get<double>() : std::numeric_limits<double>::quiet_NaN();
    check_resolution(s.dpi);
    s.page = page.get<int>();
    s.tolerance = tolerance.get<int>();
    s.opacity = opacity.get<int>();
    s.border = border.get<int>();
    s.grain = flag_or(settings, "grain", false);
    s.tiny_markers = flag_or(settings, "tiny_markers", false);
    s.diagnostic_images = flag_or(settings, "diagnostic_images", true);
    return s;
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

}  // namespace

ComparedPage compare_page(const std::filesystem::path& folder, const Json& settings) {
    return compare_page(folder / "before.pdf", folder / "after.pdf", settings);
}

ComparedPage compare_page(const std::filesystem::path& before_pdf, const std::filesystem::path& after_pdf,
                          const Json& settings) {
    ComparedPage page;
    page.started = Clock::now();
    page.checked_at = tokyo_now();
    const PageSettings s = read_settings(settings);
    page.settings = settings;

    // The two pages render at the same time, each in its own MuPDF context.
    auto [before, after] = at_once([&] { return render_pdf(before_pdf, s.page, s.dpi); },
                                   [&] { return render_pdf(after_pdf, s.page, s.dpi); });
    page.rendered = Clock::now();
    page.before_info = before.info.to_json();
    page.after_info = after.info.to_json();

    if (std::abs(before.info.width_mm - after.info.width_mm) > 0.01 ||
        std::abs(before.info.height_mm - after.info.height_mm) > 0.01)
        throw UserError("新旧PDFの仕上がりサイズが異なります。");

    CompareOptions options;
    options.tolerance = s.tolerance;
    options.opacity = s.opacity;
    options.border = s.border;
    options.padded_pages = s.diagnostic_images;
    const std::optional<InkComparison> inks =
        InkComparison::of(before, after, before_pdf, after_pdf, s.page, s.dpi, s.tolerance);
    if (inks) options.printed = inks->printed();
    CompareResult strict = compare_arrays(before.pixels, after.pixels, options);
    if (inks) inks->note_ink_only(strict.result, strict, s.dpi);
    page.result = strict.result;
    page.mask = strict.mask;
    page.stats = strict.stats;

    Json& noise = page.noise;
    noise["enabled"] = false;
    noise["suppressed_pixels"] = 0;
    noise["strict_regions"] = strict.stats.regions;
    if (s.grain) {
        const int dpi = int(s.dpi);
        grain::NoiseScope scope =
            grain::image_only_scope(before_pdf, after_pdf, s.page, before.pixels.rows, before.pixels.cols, dpi);
        cv::Mat candidates = grain::noise_candidates(before.pixels, after.pixels, scope.mask, dpi, s.tolerance);
        // Noise moves no plate further than it moves the screen's colours.
        if (inks) candidates.setTo(0, inks->printed().ink_difference > MAX_RGB_DIFFERENCE);
        CompareOptions filtered_options = options;
        filtered_options.padded_pages = false;
        filtered_options.ignored_pixels = candidates;
        filtered_options.direct_scope = scope.mask;
        CompareResult filtered = compare_arrays(before.pixels, after.pixels, filtered_options);
        if (inks) inks->note_ink_only(filtered.result, filtered, s.dpi);
        page.result = filtered.result;
        page.mask = filtered.mask;
        page.stats = filtered.stats;
        noise.update(scope.stats.to_json());
        noise["enabled"] = true;
        noise["suppressed_pixels"] = cv::countNonZero(candidates);
        noise["strict_regions"] = strict.stats.regions;
        noise["filtered_regions"] = page.stats.regions;
        noise["max_rgb_difference"] = MAX_RGB_DIFFERENCE;
        // Encoded now, so that its cost counts as comparison time; the file is written first
        // among the page's files. The band goes above the image in the file, not in memory.
        const cv::Mat band = information_band(strict.result.cols, settings, page.checked_at);
        page.strict_png = png::encode_png(std::vector<cv::Mat>{band, strict.result});
    }

    page.tiny_marks = TinyMarks::disabled_json();
    page.published = page.result;
    if (s.tiny_markers) {
        MarkedImage marked = mark_tiny_changes(page.result, page.mask, s.dpi);
        page.published = marked.image;
        page.tiny_marks = marked.marks.to_json();
    }
    if (s.diagnostic_images) {
        page.before_padded = strict.before_padded;
        page.after_padded = strict.after_padded;
    } else {
        page.mask.release();
    }
    page.compared = Clock::now();
    return page;
}

namespace {

// The page's record as result.json holds it, timed up to now.
Json page_record(const ComparedPage& page, int band_rows, const Json& reference) {
    Json record;
    record["settings"] = page.settings;
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
    return record;
}

// The banded result image, encoded.
std::string banded_result(const ComparedPage& page, int& band_rows) {
    const cv::Mat band = information_band(page.published.cols, page.settings, page.checked_at);
    band_rows = band.rows;
    return png::encode_png(std::vector<cv::Mat>{band, page.published});
}

}  // namespace

Json save_page(const std::filesystem::path& folder, ComparedPage page) {
    if (page.strict_png) png::write_png_file(folder / "strict.png", *page.strict_png);
    int band_rows = 0;
    png::write_png_file(folder / "result.png", banded_result(page, band_rows));
    page.published.release();
    if (flag_or(page.settings, "diagnostic_images", true)) {
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
    page.published.release();
    page.result.release();
    finished.record = page_record(page, band_rows, Json());
    return finished;
}

Json run_job(const std::filesystem::path& folder, const Json& settings) {
    return save_page(folder, compare_page(folder, settings));
}

}  // namespace tesmira::engine
