#pragma once
#include <opencv2/core.hpp>

#include <optional>
#include <vector>

#include "common/json.hpp"

namespace tesmira::engine {

inline constexpr int CANVAS_MARGIN = 50;  // white margin around the page on every side

struct Box {
    int x = 0, y = 0, width = 0, height = 0;
    Json to_json() const;
};

struct CompareStats {
    int regions = 0;
    long long changed_pixels = 0;
    double changed_percent = 0.0;
    std::vector<Box> boxes;  // the first 200
    bool boxes_truncated = false;
    Json to_json() const;
};

// Pages that print differently from how they look, compared on their plates.
struct PrintedPages {
    cv::Mat ink_difference;  // CV_8U, of the unpadded page size: the largest plate difference (ink_plates.hpp)
    // A spot ink of both pages looks different on each: only then can identical plates look
    // different.
    bool restyled = false;
};

struct CompareOptions {
    int tolerance = 1;            // largest channel difference that is no change (TOLERANCE_RANGE)
    int opacity = 10;             // percent of the new page kept where nothing changed (OPACITY_RANGE)
    int border = 2;               // the red outline's width in pixels (BORDER_RANGE)
    double path_tolerance = 0.5;  // how far an outline may cut a region's contour, in pixels
    bool padded_pages = true;     // also return both pages inside their margin
    // The noise pass's masks: CV_8U, non-zero where true, of the unpadded page size.
    // ignored_pixels: differences here are cleared before anything is decided (the noise
    // candidates, noise_candidates.hpp).
    std::optional<cv::Mat> ignored_pixels;
    // direct_scope: a region here keeps only its own differing pixels, not all that its
    // outline encloses (the image-only scope, image_only_scope.hpp).
    std::optional<cv::Mat> direct_scope;
    // Pages that print differently from how they look, `before` and `after` being how their
    // plates look: a pixel changes where a plate differs by more than the tolerance, and no longer
    // where only the look does.
    std::optional<PrintedPages> printed;
};

struct CompareResult {
    cv::Mat result;         // faded new page with full-colour regions and red outlines, RGB
    cv::Mat mask;           // region mask, CV_8U 0/255
    cv::Mat before_padded;  // pages with their white margin, when asked for
    cv::Mat after_padded;
    CompareStats stats;
    std::vector<cv::Rect> region_boxes;  // every region's bounding box (canvas pixels)
    // With `printed`, bounding boxes in canvas pixels: of the regions, among all of them, within
    // which the pages look alike, their plates alone differing (ink_only); and of the places
    // outside every region where the pages look different on identical plates (look_only).
    std::vector<cv::Rect> ink_only, look_only;
};

// The page inside a white margin of CANVAS_MARGIN pixels on every side: the canvas of a result.
cv::Mat padded_page(const cv::Mat& page);

// Compares two rendered pages of one size as they look, or with `printed` on their plates.
//   before, after  CV_8UC3, RGB, the same size: the old and the new page (render_pdf).
//   options        the settings and the masks above.
// Returns the result image: the new page faded, every region at full colour and outlined in
// red, inside a white margin of CANVAS_MARGIN pixels (every coordinate returned is one of that
// canvas); the region mask (CV_8U, 0 or 255); the statistics; and the padded pages if asked.
// The difference map is the largest channel (or plate) difference per pixel; pixels above the
// tolerance change, and every outer contour of the changed pixels, with what it encloses, is one
// region.
// Refuses (UserError) pages of two sizes, settings out of range, masks of another size and
// more than 100,000 contours.
CompareResult compare_arrays(const cv::Mat& before, const cv::Mat& after, const CompareOptions& options = {});

// What compare_arrays gives for two equal pages, without comparing them: `shown` (the new page
// as the result shows it: its screen pixels, or its plates' look) faded inside its margin, an
// empty region mask and no region. Refuses an opacity out of range.
CompareResult unchanged_result(const cv::Mat& shown, int opacity);

}  // namespace tesmira::engine
