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

std::vector<const PageObjectRecord*> simple_images(const std::vector<PageObjectRecord>& objects) {
    std::vector<const PageObjectRecord*> images;
    for (const PageObjectRecord& object : objects)
        if (object.simple) images.push_back(&object);
    return images;
}

long count_key(const std::vector<const PageObjectRecord*>& images, const Key& key) {
    return std::count_if(images.begin(), images.end(), [&](const PageObjectRecord* r) { return key_of(*r) == key; });
}

const PageObjectRecord* only_match(const std::vector<const PageObjectRecord*>& images, const Key& key) {
    const PageObjectRecord* found = nullptr;
    for (const PageObjectRecord* image : images) {
        if (key_of(*image) != key) continue;
        if (found) return nullptr;
        found = image;
    }
    return found;
}

// Clears from `local` (covering `area` of the page) every object of `objects` but `own`,
// each grown by `pad`.
void cut_out_others(cv::Mat& local, const cv::Rect& area, const std::vector<PageObjectRecord>& objects,
                    const PageObjectRecord* own, int pad) {
    for (const PageObjectRecord& other : objects) {
        if (&other == own) continue;  // by identity: an equal duplicate still cuts
        const int ox0 = std::max(area.x, other.box[0] - pad);
        const int oy0 = std::max(area.y, other.box[1] - pad);
        const int ox1 = std::min(area.x + area.width, other.box[2] + pad);
        const int oy1 = std::min(area.y + area.height, other.box[3] + pad);
        if (ox1 > ox0 && oy1 > oy0) local(cv::Rect(ox0 - area.x, oy0 - area.y, ox1 - ox0, oy1 - oy0)).setTo(0);
    }
}

// Adds to `mask` the image-only region of the pages and returns the number of image pairs
// that contributed.
int gather_scope(cv::Mat& mask, const std::vector<PageObjectRecord>& old_objects,
                 const std::vector<PageObjectRecord>& new_objects, int dpi) {
    const std::vector<const PageObjectRecord*> old_images = simple_images(old_objects);
    const std::vector<const PageObjectRecord*> new_images = simple_images(new_objects);
    const int pad = noise_pad(dpi);
    int matched = 0;
    for (const PageObjectRecord* first : old_images) {
        const Key key = key_of(*first);
        const PageObjectRecord* second = only_match(new_images, key);
        if (!second || count_key(old_images, key) != 1) continue;

        // The old page's box serves both pages.
        const int x0 = first->box[0] + pad, y0 = first->box[1] + pad;
        const int x1 = first->box[2] - pad, y1 = first->box[3] - pad;
        if (x1 <= x0 || y1 <= y0) continue;
        const cv::Rect area(x0, y0, x1 - x0, y1 - y0);

        cv::Mat local(area.size(), CV_8U, cv::Scalar(255));
        cut_out_others(local, area, old_objects, first, pad);
        cut_out_others(local, area, new_objects, second, pad);
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
