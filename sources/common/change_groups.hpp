#pragma once
// The one rule by which changed regions make one change: regions a few millimetres apart, so
// that an edited word is one change and not one per letter. The worker groups each page's
// regions by it, and the window's model may group boxes by it too.
#include <cstddef>
#include <span>
#include <vector>

namespace tesmira {

// Regions this close (or closer) are one change.
inline constexpr double CHANGE_GAP_MM = 3.0;

// A rectangle of whole pixels: its top-left pixel and its size.
struct PixelBox {
    int x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const PixelBox&, const PixelBox&) = default;
};

// CHANGE_GAP_MM in whole pixels at `dpi` (taken as at least 1), rounded half away from zero:
// 35 at 300 dpi, 24 at 200, 17 at 144.
int change_gap_pixels(double dpi);

struct BoxGroup {
    PixelBox box;     // the union of its boxes
    int members = 0;  // how many boxes it holds
    friend bool operator==(const BoxGroup&, const BoxGroup&) = default;
};

// The changes that `boxes` make: the finest grouping in which no two groups' boxes have `gap`
// or fewer empty pixels between them, both across and down (so boxes that close to one
// another, directly or through others, are one change). In reading order: by top, then by
// left. Boxes without area are left out. The boxes are those of an image (x + width and
// y + height fit an int). Takes time about linear in the boxes for the regions of a page,
// also for tens of thousands of them.
std::vector<BoxGroup> group_changes(std::span<const PixelBox> boxes, int gap);

}  // namespace tesmira
