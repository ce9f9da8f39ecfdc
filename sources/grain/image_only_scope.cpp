#include "grain/image_only_scope.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <vector>

#include "common/rounding.hpp"
#include "grain/page_objects.hpp"

namespace tesmira::grain {
namespace {

using Key = std::array<double, 4>;

// An image's identity across the two pages: its bounds to a thousandth of a point.
Key key_of(const PageObjectRecord& record) {
    Key key;
    for (std::size_t i = 0; i < key.size(); ++i) key[i] = round_half_even(record.bounds[i], 3);
    return key;
}

// A simple image with its key, worked out once: keys are compared for every pair.
struct SimpleImage {
    const PageObjectRecord* record;
    Key key;
};

std::vector<SimpleImage> simple_images(const std::vector<PageObjectRecord>& objects) {
    std::vector<SimpleImage> images;
    for (const PageObjectRecord& object : objects)
        if (object.simple) images.push_back({&object, key_of(object)});
    return images;
}

long count_key(const std::vector<SimpleImage>& images, const Key& key) {
    return std::count_if(images.begin(), images.end(), [&](const SimpleImage& image) { return image.key == key; });
}

const PageObjectRecord* only_match(const std::vector<SimpleImage>& images, const Key& key) {
    const PageObjectRecord* found = nullptr;
    for (const SimpleImage& image : images) {
        if (image.key != key) continue;
        if (found) return nullptr;
        found = image.record;
    }
    return found;
}

// Adds to `cuts` the part of `area` that each object of `objects` but `own`, grown by `pad`,
// covers, relative to `area`.
void add_cuts(std::vector<cv::Rect>& cuts, const cv::Rect& area, const std::vector<PageObjectRecord>& objects,
              const PageObjectRecord* own, int pad) {
    for (const PageObjectRecord& other : objects) {
        if (&other == own) continue;  // by identity: an equal duplicate still cuts
        const int ox0 = std::max(area.x, other.box[0] - pad);
        const int oy0 = std::max(area.y, other.box[1] - pad);
        const int ox1 = std::min(area.x + area.width, other.box[2] + pad);
        const int oy1 = std::min(area.y + area.height, other.box[3] + pad);
        if (ox1 > ox0 && oy1 > oy0) cuts.emplace_back(ox0 - area.x, oy0 - area.y, ox1 - ox0, oy1 - oy0);
    }
}

// Sets each pixel of `local` to 0 where one of `cuts` covers it and to 255 elsewhere. Row by
// row: the count of cuts over each column changes only where a cut begins or ends, and the
// row's pattern is worked out again only there, so that the time grows with the area plus the
// number of cuts rather than with their product (a page may hold two thousand objects over
// every image).
void fill_uncovered(cv::Mat& local, const std::vector<cv::Rect>& cuts) {
    struct Edge {
        int x0, x1, step;  // the cut's columns gain `step` from the edge's row on
    };
    std::vector<std::vector<Edge>> edges_at(std::size_t(local.rows) + 1);
    for (const cv::Rect& cut : cuts) {
        edges_at[std::size_t(cut.y)].push_back({cut.x, cut.x + cut.width, 1});
        edges_at[std::size_t(cut.y + cut.height)].push_back({cut.x, cut.x + cut.width, -1});
    }
    const auto columns = std::size_t(local.cols);
    std::vector<int> steps(columns + 1, 0);  // where the count changes along a row
    std::vector<uchar> row_pattern(columns, 255);
    for (int row = 0; row < local.rows; ++row) {
        const std::vector<Edge>& edges = edges_at[std::size_t(row)];
        if (!edges.empty()) {
            for (const Edge& edge : edges) {
                steps[std::size_t(edge.x0)] += edge.step;
                steps[std::size_t(edge.x1)] -= edge.step;
            }
            int covering = 0;
            for (std::size_t column = 0; column < columns; ++column) {
                covering += steps[column];
                row_pattern[column] = covering > 0 ? 0 : 255;
            }
        }
        std::copy(row_pattern.begin(), row_pattern.end(), local.ptr<uchar>(row));
    }
}

// Adds to `mask` the image-only region of the pages and returns the number of image pairs
// that contributed.
int gather_scope(cv::Mat& mask, const std::vector<PageObjectRecord>& old_objects,
                 const std::vector<PageObjectRecord>& new_objects, int dpi) {
    const std::vector<SimpleImage> old_images = simple_images(old_objects);
    const std::vector<SimpleImage> new_images = simple_images(new_objects);
    const int pad = noise_pad(dpi);
    int matched = 0;
    std::vector<cv::Rect> cuts;
    for (const SimpleImage& image : old_images) {
        const PageObjectRecord* first = image.record;
        const PageObjectRecord* second = only_match(new_images, image.key);
        if (!second || count_key(old_images, image.key) != 1) continue;

        // The old page's box serves both pages.
        const int x0 = first->box[0] + pad, y0 = first->box[1] + pad;
        const int x1 = first->box[2] - pad, y1 = first->box[3] - pad;
        if (x1 <= x0 || y1 <= y0) continue;
        const cv::Rect area(x0, y0, x1 - x0, y1 - y0);

        cuts.clear();
        add_cuts(cuts, area, old_objects, first, pad);
        add_cuts(cuts, area, new_objects, second, pad);
        cv::Mat local(area.size(), CV_8U);
        fill_uncovered(local, cuts);
        cv::Mat target = mask(area);
        cv::bitwise_or(target, local, target);
        ++matched;  // even when nothing of it is left
    }
    return matched;
}

}  // namespace

Json NoiseScopeStats::to_json() const {
    Json out;
    out["matched_images"] = matched_images;
    out["eligible_pixels"] = eligible_pixels;
    out["fallback"] = fallback ? Json(*fallback) : Json(nullptr);
    return out;
}

int noise_pad(int dpi) { return std::max(2, int(std::ceil(0.15 * dpi / 25.4))); }

NoiseScope image_only_scope(const std::filesystem::path& before, const std::filesystem::path& after, int page_number,
                            int height, int width, int dpi) {
    NoiseScope scope;
    scope.mask = cv::Mat::zeros(height, width, CV_8U);
    try {
        const std::vector<PageObjectRecord> old_objects = page_objects(before, page_number, height, width);
        const std::vector<PageObjectRecord> new_objects = page_objects(after, page_number, height, width);
        scope.stats.matched_images = gather_scope(scope.mask, old_objects, new_objects, dpi);
    } catch (const std::exception& error) {
        // Only ordinary failures: a termination request is no std::exception and passes.
        scope.mask.setTo(0);
        scope.stats.matched_images = 0;
        scope.stats.fallback = error.what();
    }
    scope.stats.eligible_pixels = cv::countNonZero(scope.mask);
    return scope;
}

}  // namespace tesmira::grain
