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

// The change components no larger than MAX_COMPONENT_MM on either side: their centres, in
// label order, and a mask (CV_8U, 255) of them alone, large regions left out.
struct TinyComponents {
    std::vector<cv::Point> centres;
    cv::Mat mask;
};

TinyComponents find_tiny_components(const cv::Mat& mask, double p) {
    cv::Mat labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(mask > 0, labels, stats, centroids, 8, CV_32S);

    const int largest_side = std::max<int>(1, int(round_to_int(MAX_COMPONENT_MM * p)));
    std::vector<int> tiny;
    for (int label = 1; label < n; ++label)
        if (stats.at<int>(label, cv::CC_STAT_WIDTH) <= largest_side &&
            stats.at<int>(label, cv::CC_STAT_HEIGHT) <= largest_side)
            tiny.push_back(label);
    TinyComponents found;
    if (tiny.empty()) return found;

    found.centres.reserve(tiny.size());
    for (int label : tiny)
        found.centres.emplace_back(
            stats.at<int>(label, cv::CC_STAT_LEFT) + stats.at<int>(label, cv::CC_STAT_WIDTH) / 2,
            stats.at<int>(label, cv::CC_STAT_TOP) + stats.at<int>(label, cv::CC_STAT_HEIGHT) / 2);
    std::vector<uchar> is_tiny(std::size_t(n), 0);
    for (int label : tiny) is_tiny[std::size_t(label)] = 255;
    found.mask.create(labels.size(), CV_8U);
    for (int r = 0; r < labels.rows; ++r) {
        const int* in = labels.ptr<int>(r);
        uchar* o = found.mask.ptr<uchar>(r);
        for (int c = 0; c < labels.cols; ++c) o[c] = is_tiny[std::size_t(in[c])];
    }
    return found;  // the whole-canvas label image goes here: hold one at a time
}

// Tiny components within 0.75 mm of each other form a group.
struct Group {
    cv::Rect box;
    int count;
};

// The groups, in the order of their first tiny component. Takes the mask's memory.
std::vector<Group> group_components(TinyComponents& tiny, double p) {
    const int radius = std::max<int>(1, int(round_to_int(0.75 * p)));
    cv::Mat grouped;
    cv::dilate(tiny.mask, grouped, cv::Mat::ones(2 * radius + 1, 2 * radius + 1, CV_8U));
    tiny.mask.release();
    cv::Mat group_labels, group_stats, group_centroids;
    cv::connectedComponentsWithStats(grouped, group_labels, group_stats, group_centroids, 8, CV_32S);

    std::vector<int> order;
    std::map<int, int> counts;
    for (const cv::Point& centre : tiny.centres) {
        const int group = group_labels.at<int>(centre.y, centre.x);
        if (counts[group]++ == 0) order.push_back(group);
    }
    std::vector<Group> groups;
    for (int group : order)
        groups.push_back({cv::Rect(group_stats.at<int>(group, cv::CC_STAT_LEFT),
                                   group_stats.at<int>(group, cv::CC_STAT_TOP),
                                   group_stats.at<int>(group, cv::CC_STAT_WIDTH),
                                   group_stats.at<int>(group, cv::CC_STAT_HEIGHT)),
                          counts[group]});
    return groups;
}

// A box of at least MIN_BOX_MM around each group, within `bounds`, up to MAX_BOXES; dense
// clusters are left out and counted.
void draw_markers(MarkedImage& out, const std::vector<Group>& groups, cv::Size bounds, double dpi) {
    const double p = dpi / 25.4;
    const int height = bounds.height, width = bounds.width;
    const int min_side = int(std::ceil(MIN_BOX_MM * p));
    const int thickness = std::max<int>(1, int(round_to_int(dpi / 144)));
    for (const Group& group : groups) {
        const int x = group.box.x, y = group.box.y, w = group.box.width, h = group.box.height;
        if (group.count > DENSE_COMPONENTS && std::max(w, h) > 6 * p) {
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
        out.marks.rectangles.push_back({left, top, right - left + 1, bottom - top + 1, group.count});
    }
}

}  // namespace

MarkedImage mark_tiny_changes(const cv::Mat& result, const cv::Mat& mask, double dpi) {
    CV_Assert(mask.dims == 2);
    const double p = dpi / 25.4;
    TinyComponents tiny = find_tiny_components(mask, p);
    MarkedImage out;
    out.marks.tiny_components = int(tiny.centres.size());
    if (tiny.centres.empty()) {
        out.image = result.clone();
        return out;
    }
    const std::vector<Group> groups = group_components(tiny, p);
    out.image = result.clone();
    draw_markers(out, groups, cv::Size(mask.cols, mask.rows), dpi);
    return out;
}

}  // namespace tesmira::engine
