#include "engine/tiny_marks.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <map>

#include "common/rounding.hpp"

namespace tesmira::engine {
namespace {

constexpr std::size_t MAX_BOXES = 24;
constexpr int DENSE_COMPONENTS = 8;  // more than this, over a large enough area, is a dense cluster

}  // namespace

MarkedImage mark_tiny_changes(const cv::Mat& result, const cv::Mat& mask, double dpi) {
    CV_Assert(mask.dims == 2);
    const double p = dpi / 25.4;

    cv::Mat labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(mask > 0, labels, stats, centroids, 8, CV_32S);

    const int largest_side = std::max<int>(1, int(round_to_int(MAX_COMPONENT_MM * p)));
    std::vector<int> tiny;
    for (int label = 1; label < n; ++label)
        if (stats.at<int>(label, cv::CC_STAT_WIDTH) <= largest_side &&
            stats.at<int>(label, cv::CC_STAT_HEIGHT) <= largest_side)
            tiny.push_back(label);

    MarkedImage out;
    out.marks.tiny_components = int(tiny.size());
    if (tiny.empty()) {
        out.image = result.clone();
        return out;
    }

    std::vector<cv::Point> centres;
    centres.reserve(tiny.size());
    for (int label : tiny)
        centres.emplace_back(stats.at<int>(label, cv::CC_STAT_LEFT) + stats.at<int>(label, cv::CC_STAT_WIDTH) / 2,
                             stats.at<int>(label, cv::CC_STAT_TOP) + stats.at<int>(label, cv::CC_STAT_HEIGHT) / 2);

    // Tiny components only, large regions left out.
    std::vector<uchar> is_tiny(std::size_t(n), 0);
    for (int label : tiny) is_tiny[std::size_t(label)] = 255;
    cv::Mat tiny_only(labels.size(), CV_8U);
    for (int r = 0; r < labels.rows; ++r) {
        const int* in = labels.ptr<int>(r);
        uchar* o = tiny_only.ptr<uchar>(r);
        for (int c = 0; c < labels.cols; ++c) o[c] = is_tiny[std::size_t(in[c])];
    }
    labels.release();  // whole-canvas label images are large; hold one at a time

    const int radius = std::max<int>(1, int(round_to_int(0.75 * p)));
    cv::Mat grouped;
    cv::dilate(tiny_only, grouped, cv::Mat::ones(2 * radius + 1, 2 * radius + 1, CV_8U));
    tiny_only.release();
    cv::Mat group_labels, group_stats, group_centroids;
    cv::connectedComponentsWithStats(grouped, group_labels, group_stats, group_centroids, 8, CV_32S);

    // Groups in the order of their first tiny component.
    std::vector<int> order;
    std::map<int, int> counts;
    for (const cv::Point& centre : centres) {
        int group = group_labels.at<int>(centre.y, centre.x);
        if (counts[group]++ == 0) order.push_back(group);
    }
    group_labels.release();
    grouped.release();

    out.image = result.clone();

    const int height = mask.rows, width = mask.cols;
    const int min_side = int(std::ceil(MIN_BOX_MM * p));
    const int thickness = std::max<int>(1, int(round_to_int(dpi / 144)));
    for (int group : order) {
        const int x = group_stats.at<int>(group, cv::CC_STAT_LEFT);
        const int y = group_stats.at<int>(group, cv::CC_STAT_TOP);
        const int w = group_stats.at<int>(group, cv::CC_STAT_WIDTH);
        const int h = group_stats.at<int>(group, cv::CC_STAT_HEIGHT);
        const int count = counts[group];
        if (count > DENSE_COMPONENTS && std::max(w, h) > 6 * p) {
            ++out.marks.dense_groups_omitted;
            continue;
        }
        if (out.marks.rectangles.size() >= MAX_BOXES) {
            ++out.marks.limit_groups_omitted;
            continue;
        }
        const int dx = std::max(0, min_side - w), dy = std::max(0, min_side - h);
        const int left = std::max(0, x - dx / 2);
        const int top = std::max(0, y - dy / 2);
        const int right = std::min(width - 1, x + w + (dx + 1) / 2);
        const int bottom = std::min(height - 1, y + h + (dy + 1) / 2);
        cv::rectangle(out.image, cv::Point(left, top), cv::Point(right, bottom), cv::Scalar(255, 0, 0), thickness);
        out.marks.rectangles.push_back({left, top, right - left + 1, bottom - top + 1, count});
    }
    return out;
}

}  // namespace tesmira::engine
