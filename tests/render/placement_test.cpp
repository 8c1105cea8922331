#include "render/placement.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <set>
#include <utility>

namespace zx {
namespace {

struct PlacementCase {
    PlacementMode mode;
    std::int32_t W, H, w, h, givenX, givenY;
    std::int32_t x, y;
};

class PlacementTable : public testing::TestWithParam<PlacementCase> {};

TEST_P(PlacementTable, GivesTheCornerOfTheTable) {
    const PlacementCase& c = GetParam();
    std::int32_t x = -777, y = -777;
    ComputePlacement(c.mode, c.W, c.H, c.w, c.h, c.givenX, c.givenY, x, y);
    EXPECT_EQ(x, c.x);
    EXPECT_EQ(y, c.y);
}

INSTANTIATE_TEST_SUITE_P(
    Anchors, PlacementTable,
    testing::Values(
        // The given position, whatever the sizes.
        PlacementCase{0, 100, 80, 51, 20, 100, 100, 100, 100},
        PlacementCase{0, 100, 80, 51, 20, -20, 5000, -20, 5000},
        // Nine anchors on a 100 x 80 canvas for a 51 x 20 watermark: odd differences truncate.
        PlacementCase{1, 100, 80, 51, 20, 0, 0, 5, 5},
        PlacementCase{2, 100, 80, 51, 20, 0, 0, 24, 5},
        PlacementCase{3, 100, 80, 51, 20, 0, 0, 44, 5},
        PlacementCase{4, 100, 80, 51, 20, 0, 0, 44, 25},
        PlacementCase{5, 100, 80, 51, 20, 0, 0, 44, 55},
        PlacementCase{6, 100, 80, 51, 20, 0, 0, 24, 55},
        PlacementCase{7, 100, 80, 51, 20, 0, 0, 5, 55},
        PlacementCase{8, 100, 80, 51, 20, 0, 0, 5, 30},
        PlacementCase{9, 100, 80, 51, 20, 0, 0, 24, 30},
        // Mode 4 sits 5 above the vertical centre that modes 8 and 9 use.
        PlacementCase{4, 200, 100, 20, 20, 0, 0, 175, 35},
        PlacementCase{8, 200, 100, 20, 20, 0, 0, 5, 40},
        PlacementCase{9, 200, 100, 20, 20, 0, 0, 90, 40},
        // A watermark wider than the canvas: negative centres truncate toward zero.
        PlacementCase{2, 100, 80, 151, 20, 0, 0, -25, 5},
        PlacementCase{9, 100, 80, 151, 20, 0, 0, -25, 30},
        PlacementCase{3, 100, 80, 151, 20, 0, 0, -56, 5},
        PlacementCase{4, 100, 80, 151, 20, 0, 0, -56, 25},
        PlacementCase{5, 100, 80, 151, 20, 0, 0, -56, 55},
        // Mode 4 truncates after subtracting the 5: 2.5 - 5 = -2.5 gives -2.
        PlacementCase{4, 10, 5, 0, 0, 0, 0, 5, -2},
        // Everything outside 0 to 10 falls back to (10, 10).
        PlacementCase{11, 100, 80, 51, 20, 1, 1, 10, 10},
        PlacementCase{-1, 100, 80, 51, 20, 1, 1, 10, 10},
        PlacementCase{1000, 100, 80, 51, 20, 1, 1, 10, 10},
        // Corners beyond the 32-bit range saturate instead of overflowing.
        PlacementCase{3, INT_MAX, 80, INT_MIN, 20, 0, 0, INT_MAX, 5},
        PlacementCase{5, 0, INT_MIN, 0, INT_MAX, 0, 0, -5, INT_MIN}));

TEST(RandomPlacement, LandsOnTheNineAnchorsAboutEquallyOften) {
    std::set<std::pair<int, int>> anchors;
    for (PlacementMode mode = 1; mode <= 9; ++mode) {
        std::int32_t x = 0, y = 0;
        ComputePlacement(mode, 100, 80, 51, 20, 0, 0, x, y);
        anchors.insert({x, y});
    }
    ASSERT_EQ(anchors.size(), 9u);

    std::map<std::pair<int, int>, int> counts;
    constexpr int kDraws = 9000;
    for (int i = 0; i < kDraws; ++i) {
        std::int32_t x = 0, y = 0;
        ComputePlacement(PlacementRandom, 100, 80, 51, 20, 300, 300, x, y);
        ASSERT_TRUE(anchors.count({x, y})) << x << "," << y;
        ++counts[{x, y}];
    }
    // Nearly all of these calls fall in the same few milliseconds: only the seeding counter
    // keeps them apart. Each anchor should get about 1000 draws.
    ASSERT_EQ(counts.size(), 9u);
    for (const auto& [anchor, count] : counts) {
        EXPECT_GT(count, 700) << anchor.first << "," << anchor.second;
        EXPECT_LT(count, 1300) << anchor.first << "," << anchor.second;
    }
}

}  // namespace
}  // namespace zx
