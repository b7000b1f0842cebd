// Region clipping: single regions, pairs and triples that move together.
#include <gtest/gtest.h>

#include <climits>

#include "buffers/region.h"

TEST(ClipRegion, MovesNegativeStartInsideAndShortens) {
    Region r{-10, 0, 30, 5};
    clip_region(r, 100, 100);
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.w, 20);
    EXPECT_EQ(r.h, 5);
}

TEST(ClipRegion, CutsAtRightAndBottomEdges) {
    Region r{95, 98, 10, 10};
    clip_region(r, 100, 100);
    EXPECT_EQ(r.w, 5);
    EXPECT_EQ(r.h, 2);
}

TEST(ClipRegion, WhollyOutsideBecomesEmpty) {
    Region right{150, 0, 10, 10};
    clip_region(right, 100, 100);
    EXPECT_TRUE(right.empty());
    Region left{-50, 0, 10, 10};
    clip_region(left, 100, 100);
    EXPECT_TRUE(left.empty());
}

TEST(ClipRegion, ExtremeValuesDoNotOverflow) {
    Region r{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    clip_region(r, 100, 100);
    EXPECT_EQ(r.x, 0);
    EXPECT_TRUE(r.empty());
    Region big{10, 10, INT_MAX, INT_MAX};
    clip_region(big, 100, 100);
    EXPECT_EQ(big.w, 90);
    EXPECT_EQ(big.h, 90);
}

TEST(ClipRegionPair, ShiftsBothPositionsTogether) {
    int x1 = -4, y1 = 0, x2 = 10, y2 = 0, w = 20, h = 5;
    clip_region_pair(x1, y1, x2, y2, w, h, 100, 100, 100, 100);
    EXPECT_EQ(x1, 0);
    EXPECT_EQ(x2, 14);
    EXPECT_EQ(w, 16);
}

TEST(ClipRegionPair, SecondPositionCutsAgainstItsOwnBounds) {
    int x1 = 0, y1 = 0, x2 = -3, y2 = 95, w = 50, h = 50;
    clip_region_pair(x1, y1, x2, y2, w, h, 100, 100, 40, 100);
    EXPECT_EQ(x1, 3);
    EXPECT_EQ(x2, 0);
    EXPECT_EQ(w, 40);  // first cut to 47 by the shift, then to the 40-wide bounds
    EXPECT_EQ(y2, 95);
    EXPECT_EQ(h, 5);
}

TEST(ClipRegionTriple, AllThreeMoveWithTheShiftOfAny) {
    int x1 = 5, y1 = 0, x2 = 0, y2 = 0, x3 = -2, y3 = -1, w = 10, h = 10;
    clip_region_triple(x1, y1, x2, y2, x3, y3, w, h, 100, 100, 100, 100, 100, 100);
    EXPECT_EQ(x1, 7);
    EXPECT_EQ(x2, 2);
    EXPECT_EQ(x3, 0);
    EXPECT_EQ(y1, 1);
    EXPECT_EQ(y2, 1);
    EXPECT_EQ(y3, 0);
    EXPECT_EQ(w, 8);
    EXPECT_EQ(h, 9);
}
