#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>
#include <vector>

#include "common/change_groups.hpp"

using namespace tesmira;

namespace {

bool near(const PixelBox& a, const PixelBox& b, int gap) {
    return b.x - (a.x + a.width) <= gap && a.x - (b.x + b.width) <= gap && b.y - (a.y + a.height) <= gap &&
           a.y - (b.y + b.height) <= gap;
}

// The rule the plain way: merge any two near groups until none are, then read them in order.
std::vector<BoxGroup> merged_pair_by_pair(const std::vector<PixelBox>& boxes, int gap) {
    std::vector<BoxGroup> groups;
    for (const PixelBox& b : boxes)
        if (b.width > 0 && b.height > 0) groups.push_back({b, 1});
    for (bool merged = true; merged;) {
        merged = false;
        for (std::size_t i = 0; i < groups.size() && !merged; ++i)
            for (std::size_t j = i + 1; j < groups.size() && !merged; ++j)
                if (near(groups[i].box, groups[j].box, gap)) {
                    const PixelBox a = groups[i].box, b = groups[j].box;
                    const int x = std::min(a.x, b.x), y = std::min(a.y, b.y);
                    groups[i].box = {
                        x, y, std::max(a.x + a.width, b.x + b.width) - x, std::max(a.y + a.height, b.y + b.height) - y};
                    groups[i].members += groups[j].members;
                    groups.erase(groups.begin() + std::ptrdiff_t(j));
                    merged = true;
                }
    }
    std::sort(groups.begin(), groups.end(), [](const BoxGroup& a, const BoxGroup& b) {
        return std::tie(a.box.y, a.box.x) < std::tie(b.box.y, b.box.x);
    });
    return groups;
}

std::vector<PixelBox> random_boxes(std::mt19937& random, int count, int extent, int largest) {
    std::uniform_int_distribution<int> place(-20, extent), size(1, largest), rare(0, 99);
    std::vector<PixelBox> boxes;
    for (int i = 0; i < count; ++i) {
        // Now and then a box over many cells, as a retouched photo makes.
        const int scale = rare(random) == 0 ? 40 : 1;
        boxes.push_back({place(random), place(random), size(random) * scale, size(random) * scale});
    }
    return boxes;
}

}  // namespace

TEST(ChangeGroups, TheGapIsThreeMillimetresInWholePixels) {
    EXPECT_EQ(change_gap_pixels(300), 35);
    EXPECT_EQ(change_gap_pixels(200), 24);
    EXPECT_EQ(change_gap_pixels(144), 17);
    EXPECT_EQ(change_gap_pixels(0), 0);
}

TEST(ChangeGroups, NearBoxesAreOneChangeInReadingOrder) {
    struct Case {
        const char* name;
        std::vector<PixelBox> boxes;
        std::vector<BoxGroup> changes;
    } cases[] = {
        {"35 empty pixels across", {{0, 0, 10, 10}, {45, 0, 10, 10}}, {{{0, 0, 55, 10}, 2}}},
        {"36 empty pixels across", {{0, 0, 10, 10}, {46, 0, 10, 10}}, {{{0, 0, 10, 10}, 1}, {{46, 0, 10, 10}, 1}}},
        {"35 down", {{0, 0, 10, 10}, {0, 45, 10, 10}}, {{{0, 0, 10, 55}, 2}}},
        {"diagonal, near both ways", {{0, 0, 10, 10}, {40, 40, 10, 10}}, {{{0, 0, 50, 50}, 2}}},
        {"near across, far down", {{0, 0, 10, 10}, {20, 60, 10, 10}}, {{{0, 0, 10, 10}, 1}, {{20, 60, 10, 10}, 1}}},
        {"through a third", {{0, 0, 10, 10}, {80, 0, 10, 10}, {40, 0, 10, 10}}, {{{0, 0, 90, 10}, 3}}},
        // The first three together reach the fourth, which none of them reaches alone.
        {"through the united box",
         {{0, 0, 10, 10}, {20, 30, 10, 60}, {60, 100, 10, 10}, {100, 0, 10, 10}},
         {{{0, 0, 110, 110}, 4}}},
        {"inside another's box", {{0, 0, 400, 10}, {0, 0, 10, 400}, {200, 200, 5, 5}}, {{{0, 0, 400, 400}, 3}}},
        {"without area left out", {{0, 0, 0, 10}, {5, 5, 10, 0}, {100, 100, 5, 5}}, {{{100, 100, 5, 5}, 1}}},
        {"top to bottom, then left to right",
         {{500, 900, 5, 5}, {900, 100, 5, 5}, {100, 100, 5, 5}},
         {{{100, 100, 5, 5}, 1}, {{900, 100, 5, 5}, 1}, {{500, 900, 5, 5}, 1}}},
    };
    for (const Case& c : cases) EXPECT_EQ(group_changes(c.boxes, 35), c.changes) << c.name;
}

// The grid gives what merging pair by pair gives, with small and large boxes, dense and sparse,
// at the gaps of the three resolutions and at none.
TEST(ChangeGroups, SameAsMergingPairByPair) {
    std::mt19937 random(34);
    for (const int gap : {0, 17, 24, 35})
        for (const auto& [count, extent, largest] : {std::tuple{300, 3000, 30}, {300, 600, 8}, {60, 20000, 200}}) {
            const std::vector<PixelBox> boxes = random_boxes(random, count, extent, largest);
            EXPECT_EQ(group_changes(boxes, gap), merged_pair_by_pair(boxes, gap))
                << "gap " << gap << ", " << count << " boxes over " << extent;
        }
}

// A reflowed paragraph's letters, tens of thousands of them, grouped line by line into one
// change each; and a box over the whole page takes them all in.
TEST(ChangeGroups, TensOfThousandsOfRegions) {
    std::vector<PixelBox> letters;
    for (int line = 0; line < 100; ++line)
        for (int letter = 0; letter < 300; ++letter) letters.push_back({10 + 8 * letter, 100 * line, 6, 30});
    const std::vector<BoxGroup> lines = group_changes(letters, 35);
    ASSERT_EQ(lines.size(), 100u);
    EXPECT_EQ(lines[42], (BoxGroup{{10, 4200, 2398, 30}, 300}));

    letters.push_back({0, 0, 3000, 10000});
    EXPECT_EQ(group_changes(letters, 35), (std::vector<BoxGroup>{{{0, 0, 3000, 10000}, 30001}}));
}
