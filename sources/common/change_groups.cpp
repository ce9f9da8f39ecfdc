#include "common/change_groups.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <tuple>
#include <utility>

namespace tesmira {
namespace {

using Wide = long long;

// A box that covers more grid cells than this is compared with every box instead of being
// entered in each of its cells, so that no box costs more than a few cells.
constexpr Wide MAX_CELLS_PER_BOX = 64;

Wide right(const PixelBox& b) { return Wide(b.x) + b.width; }
Wide bottom(const PixelBox& b) { return Wide(b.y) + b.height; }

// At most `gap` empty pixels between them across and down: the one test of nearness.
bool near(const PixelBox& a, const PixelBox& b, Wide gap) {
    return b.x - right(a) <= gap && a.x - right(b) <= gap && b.y - bottom(a) <= gap && a.y - bottom(b) <= gap;
}

PixelBox united(const PixelBox& a, const PixelBox& b) {
    const int x = std::min(a.x, b.x), y = std::min(a.y, b.y);
    return {x, y, int(std::max(right(a), right(b)) - x), int(std::max(bottom(a), bottom(b)) - y)};
}

// Sets joined through any member (union-find).
class Sets {
public:
    explicit Sets(std::size_t count) : parent_(count) { std::iota(parent_.begin(), parent_.end(), std::size_t(0)); }
    std::size_t find(std::size_t i) {
        while (parent_[i] != i) i = parent_[i] = parent_[parent_[i]];
        return i;
    }
    void join(std::size_t a, std::size_t b) { parent_[find(a)] = find(b); }

private:
    std::vector<std::size_t> parent_;
};

// A grid of square cells of `gap` + 2 pixels: two boxes that touch one cell have at most `gap`
// empty pixels between them, so a cell's boxes are near one another without a test, and boxes
// that are near touch the same or neighbouring cells.
class Grid {
public:
    explicit Grid(Wide gap) : size_(gap + 2) {}

    Wide cell(Wide pixel) const { return pixel >= 0 ? pixel / size_ : -((-pixel + size_ - 1) / size_); }
    static std::uint64_t key(Wide column, Wide row) {
        return (std::uint64_t(std::uint32_t(column)) << 32) | std::uint32_t(row);
    }

    // Enters the box in its cells; false for a box of too many cells, which is not entered.
    bool enter(const PixelBox& b, std::size_t index) {
        const Wide left = cell(b.x), last_column = cell(right(b) - 1);
        const Wide top = cell(b.y), last_row = cell(bottom(b) - 1);
        if ((last_column - left + 1) * (last_row - top + 1) > MAX_CELLS_PER_BOX) return false;
        for (Wide column = left; column <= last_column; ++column)
            for (Wide row = top; row <= last_row; ++row) entries_.push_back({key(column, row), index});
        return true;
    }

    // Joins the boxes of each cell, then each cell's with a neighbour's where two are near.
    void join_near(std::span<const PixelBox> boxes, Wide gap, Sets& sets) {
        std::sort(entries_.begin(), entries_.end());
        for (std::size_t first = 0, end = 0; first < entries_.size(); first = end) {
            end = run_end(first);
            for (std::size_t i = first + 1; i < end; ++i) sets.join(entries_[first].second, entries_[i].second);
        }
        for (std::size_t first = 0, end = 0; first < entries_.size(); first = end) {
            end = run_end(first);
            const Wide column = std::int32_t(entries_[first].first >> 32);
            const Wide row = std::int32_t(entries_[first].first & 0xffffffffu);
            // Each pair of neighbouring cells once: right, and the three below.
            for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 1}, {0, 1}, {1, 1}})
                join_cells(first, end, key(column + dx, row + dy), boxes, gap, sets);
        }
    }

private:
    using Entry = std::pair<std::uint64_t, std::size_t>;  // cell, box

    std::size_t run_end(std::size_t first) const {
        std::size_t end = first + 1;
        while (end < entries_.size() && entries_[end].first == entries_[first].first) ++end;
        return end;
    }

    // Every box of a cell is in one set already, so the first near pair joins the two cells.
    void join_cells(std::size_t first, std::size_t end, std::uint64_t other, std::span<const PixelBox> boxes, Wide gap,
                    Sets& sets) const {
        auto it = std::lower_bound(entries_.begin(), entries_.end(), Entry{other, 0});
        if (it == entries_.end() || it->first != other) return;
        if (sets.find(it->second) == sets.find(entries_[first].second)) return;
        for (; it != entries_.end() && it->first == other; ++it)
            for (std::size_t i = first; i < end; ++i)
                if (near(boxes[entries_[i].second], boxes[it->second], gap)) {
                    sets.join(entries_[i].second, it->second);
                    return;
                }
    }

    Wide size_;
    std::vector<Entry> entries_;
};

// The boxes joined where they are near, directly or through others: a set for each box.
Sets near_sets(std::span<const PixelBox> boxes, Wide gap) {
    Sets sets(boxes.size());
    Grid grid(gap);
    std::vector<std::size_t> large;
    for (std::size_t i = 0; i < boxes.size(); ++i)
        if (!grid.enter(boxes[i], i)) large.push_back(i);
    grid.join_near(boxes, gap, sets);
    for (const std::size_t i : large)
        for (std::size_t j = 0; j < boxes.size(); ++j)
            if (j != i && sets.find(i) != sets.find(j) && near(boxes[i], boxes[j], gap)) sets.join(i, j);
    return sets;
}

// One round: the groups whose boxes are near, directly or through others, as one group each.
std::vector<BoxGroup> merged(const std::vector<BoxGroup>& groups, Wide gap) {
    std::vector<PixelBox> boxes;
    boxes.reserve(groups.size());
    for (const BoxGroup& group : groups) boxes.push_back(group.box);
    Sets sets = near_sets(boxes, gap);
    std::vector<std::size_t> slot(groups.size(), groups.size());
    std::vector<BoxGroup> out;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        std::size_t& taken = slot[sets.find(i)];
        if (taken == groups.size()) {
            taken = out.size();
            out.push_back(groups[i]);
            continue;
        }
        out[taken].box = united(out[taken].box, groups[i].box);
        out[taken].members += groups[i].members;
    }
    return out;
}

}  // namespace

int change_gap_pixels(double dpi) { return int(std::lround(CHANGE_GAP_MM / 25.4 * std::max(dpi, 1.0))); }

std::vector<BoxGroup> group_changes(std::span<const PixelBox> boxes, int gap) {
    const Wide wide_gap = std::max(gap, 0);
    std::vector<BoxGroup> groups;
    for (const PixelBox& box : boxes)
        if (box.width > 0 && box.height > 0) groups.push_back({box, 1});
    // A group's united box may come near a group that none of its boxes was near: merge again
    // until no two groups are near.
    for (std::size_t before = 0; before != groups.size();) {
        before = groups.size();
        groups = merged(groups, wide_gap);
    }
    std::sort(groups.begin(), groups.end(), [](const BoxGroup& a, const BoxGroup& b) {
        return std::tie(a.box.y, a.box.x, a.box.height, a.box.width) <
               std::tie(b.box.y, b.box.x, b.box.height, b.box.width);
    });
    return groups;
}

}  // namespace tesmira
