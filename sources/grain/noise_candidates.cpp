#include "grain/noise_candidates.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <vector>

#include "common/errors.hpp"
#include "common/rounding.hpp"

namespace tesmira::grain {

int noise_window(int dpi) {
    int w = std::max(3, int(round_to_int(1.5 * dpi / 25.4)));
    return w % 2 == 0 ? w + 1 : w;
}

cv::Mat noise_candidates(const cv::Mat& before, const cv::Mat& after, const cv::Mat& scope, int dpi, int tolerance) {
    if (before.type() != CV_8UC3 || after.type() != CV_8UC3 || before.size() != after.size() ||
        scope.type() != CV_8UC1 || scope.size() != before.size())
        throw UserError("Noise scope dimensions differ");

    const int w = noise_window(dpi);
    cv::Mat result = cv::Mat::zeros(scope.size(), CV_8U);
    // Only pixels in scope can be candidates, and a pixel's mean reaches w / 2 pixels around
    // it: the work is confined to the scope's bounding box and that reach, which gives the
    // same values as over the whole page (at a page edge the area ends where the page does).
    std::vector<cv::Point> points;
    cv::findNonZero(scope, points);
    if (points.empty()) return result;
    const cv::Rect box = cv::boundingRect(points);
    const int reach = w / 2;
    const cv::Rect area = cv::Rect(box.x - reach, box.y - reach, box.width + 2 * reach, box.height + 2 * reach) &
                          cv::Rect(0, 0, scope.cols, scope.rows);
    const cv::Rect inner = box - area.tl();

    cv::Mat before_channels[3], after_channels[3];
    cv::split(before(area), before_channels);
    cv::split(after(area), after_channels);
    cv::Mat delta = cv::Mat::zeros(area.size(), CV_8U);
    cv::Mat stable(area.size(), CV_8U, cv::Scalar(255));
    for (int c = 0; c < 3; ++c) {
        cv::Mat channel_delta, diff, mean, small;
        cv::absdiff(after_channels[c], before_channels[c], channel_delta);
        cv::max(delta, channel_delta, delta);
        // Signed, new minus old: a uniform shift keeps its sign and does not average out.
        cv::subtract(after_channels[c], before_channels[c], diff, cv::noArray(), CV_16S);
        // The edge mirrored (...cba|abc...); the area's own pixels only, never its parent's.
        cv::boxFilter(
            diff, mean, CV_32F, cv::Size(w, w), cv::Point(-1, -1), true, cv::BORDER_REFLECT | cv::BORDER_ISOLATED);
        cv::inRange(mean, -0.5, 0.5, small);
        cv::bitwise_and(stable, small, stable);
    }

    cv::Mat in_scope, above_tolerance, within_two;
    cv::compare(scope(box), 0, in_scope, cv::CMP_NE);
    cv::compare(delta(inner), tolerance, above_tolerance, cv::CMP_GT);
    cv::compare(delta(inner), 2, within_two, cv::CMP_LE);
    cv::Mat target = result(box);
    cv::bitwise_and(in_scope, stable(inner), target);
    cv::bitwise_and(target, above_tolerance, target);
    cv::bitwise_and(target, within_two, target);
    return result;
}

}  // namespace tesmira::grain
