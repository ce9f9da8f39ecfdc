#include "grain/noise_candidates.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>

#include "common/errors.hpp"
#include "common/rounding.hpp"

namespace tesmira::grain {

int noise_window(int dpi) {
    int w = std::max(3, int(round_to_int(1.5 * dpi / 25.4)));
    return w % 2 == 0 ? w + 1 : w;
}

cv::Mat noise_candidates(const cv::Mat& before, const cv::Mat& after, const cv::Mat& scope, int dpi,
                         int tolerance) {
    if (before.type() != CV_8UC3 || after.type() != CV_8UC3 || before.size() != after.size() ||
        scope.type() != CV_8UC1 || scope.size() != before.size())
        throw UserError("Noise scope dimensions differ");

    const int w = noise_window(dpi);
    cv::Mat before_channels[3], after_channels[3];
    cv::split(before, before_channels);
    cv::split(after, after_channels);

    cv::Mat delta = cv::Mat::zeros(scope.size(), CV_8U);
    cv::Mat stable(scope.size(), CV_8U, cv::Scalar(255));
    for (int c = 0; c < 3; ++c) {
        cv::Mat channel_delta, diff, mean, small;
        cv::absdiff(after_channels[c], before_channels[c], channel_delta);
        cv::max(delta, channel_delta, delta);
        // Signed, new minus old: a uniform shift keeps its sign and does not average out.
        cv::subtract(after_channels[c], before_channels[c], diff, cv::noArray(), CV_16S);
        // Over the whole page, not only the scope, with the edge mirrored (...cba|abc...).
        cv::boxFilter(diff, mean, CV_32F, cv::Size(w, w), cv::Point(-1, -1), true, cv::BORDER_REFLECT);
        cv::inRange(mean, -0.5, 0.5, small);
        cv::bitwise_and(stable, small, stable);
    }

    cv::Mat in_scope, above_tolerance, within_two, result;
    cv::compare(scope, 0, in_scope, cv::CMP_NE);
    cv::compare(delta, tolerance, above_tolerance, cv::CMP_GT);
    cv::compare(delta, 2, within_two, cv::CMP_LE);
    cv::bitwise_and(in_scope, stable, result);
    cv::bitwise_and(result, above_tolerance, result);
    cv::bitwise_and(result, within_two, result);
    return result;
}

}  // namespace tesmira::grain
