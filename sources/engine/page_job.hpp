#pragma once
#include <opencv2/core.hpp>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/json.hpp"
#include "common/tokyo_clock.hpp"
#include "engine/compare.hpp"
#include "engine/page_changes.hpp"
#include "engine/page_settings.hpp"

namespace tesmira::engine {

// Compares one page of "before.pdf" and "after.pdf" in a job folder. Writes "result.png"
// (and "strict.png", "mask.png", "before.png", "after.png" as the settings ask), checks an
// optional "reference.png", writes "result.json" last and returns the same record.
// It is save_page(folder, compare_page(folder, read_page_settings(settings))): the page job's
// settings come as JSON ("settings.json") and are read here, once.
Json run_job(const std::filesystem::path& folder, const Json& settings);

// A page that compare_page has compared, with nothing written yet: what save_page needs.
struct ComparedPage {
    PageSettings settings;
    std::chrono::steady_clock::time_point started, rendered, compared;
    TokyoTime checked_at;
    Json before_info, after_info, tiny_marks, noise;
    CompareStats stats;
    int look_only_places = 0;            // where the pages look different on identical plates
    std::vector<cv::Rect> region_boxes;  // of the final comparison's regions, for the changes
    PageChanges changes;
    std::optional<std::string> strict_png;  // the banded strict image, encoded (noise pass on)
    bool strict_is_published = false;       // the strict image is the published one, as for equal pages
    cv::Mat result;                         // the final comparison's image, unmarked
    cv::Mat published;                      // the same with the tiny markers, when they are on
    cv::Mat mask;                           // kept for the diagnostic images only
    cv::Mat before_padded, after_padded;
};

// The part of the page job that reads the two PDFs and writes nothing: rendering, the
// comparisons, the noise pass, the tiny markers and the changes with their words. So a caller
// may compare the next page while the previous one is still being saved.
//   folder    holds "before.pdf" and "after.pdf".
//   settings  the page, the comparison's settings and the band's (read_page_settings).
// Refuses (UserError) what render_pdf and compare_arrays refuse, and pages whose trim sizes
// differ by more than 0.01 mm.
ComparedPage compare_page(const std::filesystem::path& folder, const PageSettings& settings);
// The same for two PDFs anywhere.
ComparedPage compare_page(const std::filesystem::path& before_pdf, const std::filesystem::path& after_pdf,
                          const PageSettings& settings);
// The same for a page that the caller has proven to draw alike in both PDFs (pdf/page_identity.hpp)
// of files with the same page count (the pair's checks): only the new page is drawn, for the
// result, and the page is what a comparison of two equal pages gives, record and images alike.
// Should drawing it fail, both pages are compared, so that a failure is the one compare_page
// reports.
ComparedPage compare_identical_page(const std::filesystem::path& before_pdf, const std::filesystem::path& after_pdf,
                                    const PageSettings& settings);

// The rest: writes the page's files into the folder in their order, checks "reference.png",
// writes "result.json" last and returns the record.
Json save_page(const std::filesystem::path& folder, ComparedPage page);

// A compared page finished in memory, as save_page would write it without diagnostic images
// and without a reference image: the banded result image, the banded strict image (noise pass
// on) and the record.
struct FinishedPage {
    std::string result_png;
    std::optional<std::string> strict_png;
    Json record;
};
FinishedPage finish_page(ComparedPage page);

}  // namespace tesmira::engine
