// Mask logic, mask_range and mask_center.
#include <climits>

#include "mask/mask_logic.h"
#include "mask/mask_query.h"
#include "mask_script_fixture.h"
#include "mask_test_util.h"

TEST(MaskCombine, FloorShiftValues) {
    EXPECT_EQ(mask_combine(MaskOp::And, 2048, 2048), 1024);
    EXPECT_EQ(mask_combine(MaskOp::Or, 2048, 2048), 3072);
    EXPECT_EQ(mask_combine(MaskOp::Or, 1, 1), 2);
    EXPECT_EQ(mask_combine(MaskOp::And, 1, 1), 0);
    EXPECT_EQ(mask_combine(MaskOp::Sub, 4096, 4096), 0);
    EXPECT_EQ(mask_combine(MaskOp::Sub, 4096, 0), 4096);
    EXPECT_EQ(mask_combine(MaskOp::Sub, 0, 4096), 0);  // not symmetric
    EXPECT_EQ(mask_combine(MaskOp::Xor, 4096, 0), 4096);
    EXPECT_EQ(mask_combine(MaskOp::Xor, 0, 4096), 4096);
    EXPECT_EQ(mask_combine(MaskOp::Xor, 4096, 4096), 0);
    EXPECT_EQ(mask_combine(MaskOp::Xor, 0, 0), 0);
    for (int g : {0, 1, 1000, 2048, 4095, 4096}) {
        EXPECT_EQ(mask_combine(MaskOp::And, g, 4096), g);
        EXPECT_EQ(mask_combine(MaskOp::Or, g, 0), g);
    }
}

TEST(MaskCombine, XorFarOutsideTheScaleHasNoOverflow) {
    // (4096 - u) * (4096 - v) here is about 9 * 10^10, beyond 32 bits.
    const long long u = ((4096LL + 32768) * 32767) >> 12;
    const long long v = ((4096LL - 32767) * -32768) >> 12;
    EXPECT_EQ(mask_combine(MaskOp::Xor, -32768, 32767),
              static_cast<int>(4096 - (((4096 - u) * (4096 - v)) >> 12)));
    // Inside the range where 32 bits suffice, the plain formula holds.
    const int a = 3000, b = 1000;
    const int u2 = ((4096 - a) * b) >> 12, v2 = ((4096 - b) * a) >> 12;
    EXPECT_EQ(mask_combine(MaskOp::Xor, a, b), 4096 - (((4096 - u2) * (4096 - v2)) >> 12));
}

TEST(MaskLogicKernels, NotAndInPlaceCombination) {
    TestFrame m(3, 1);
    m.set(0, 0, 0, 5, 5);
    m.set(1, 0, 4096, 5, 5);
    m.set(2, 0, 1000, 5, 5);
    mask_not(m.frame, m.frame, {0, 0, 0, 0, 3, 1});
    EXPECT_EQ(m.y(0, 0), 4096);
    EXPECT_EQ(m.y(1, 0), 0);
    EXPECT_EQ(m.y(2, 0), 3096);
    EXPECT_EQ(m.at(2, 0).cb, 0);
    TestFrame b(3, 1, {2048, 1, 1});
    mask_logic(MaskOp::And, m.frame, b.frame, m.frame, {0, 0, 0, 0, 0, 0, 3, 1});
    EXPECT_EQ(m.y(0, 0), 2048);
    EXPECT_EQ(m.y(2, 0), 1548);
}

TEST(MaskQueries, RangeOfSelectedPixels) {
    TestFrame m(40, 30);
    m.set(10, 20, 4096, 0, 0);
    Region box;
    ASSERT_TRUE(mask_range(m.frame, {0, 0, 40, 30}, 1, &box));
    EXPECT_EQ(box.x, 10);
    EXPECT_EQ(box.y, 20);
    EXPECT_EQ(box.w, 1);
    EXPECT_EQ(box.h, 1);
    m.set(3, 25, 2000, 0, 0);
    m.set(15, 22, 2000, 0, 0);
    ASSERT_TRUE(mask_range(m.frame, {0, 0, 40, 30}, 2000, &box));
    EXPECT_EQ(box.x, 3);
    EXPECT_EQ(box.y, 20);
    EXPECT_EQ(box.w, 13);
    EXPECT_EQ(box.h, 6);
    EXPECT_FALSE(mask_range(m.frame, {0, 0, 40, 30}, 4097, &box));
    // Threshold 0: every pixel of the region counts.
    ASSERT_TRUE(mask_range(m.frame, {5, 6, 7, 8}, 0, &box));
    EXPECT_EQ(box.x, 5);
    EXPECT_EQ(box.w, 7);
    EXPECT_EQ(box.h, 8);
}

TEST(MaskQueries, CenterIsGradeWeighted) {
    TestFrame m(4, 2);
    m.set(0, 0, 4096, 0, 0);
    m.set(2, 0, 2048, 0, 0);
    double cx = -1, cy = -1;
    ASSERT_TRUE(mask_center(m.frame, {0, 0, 4, 2}, 1, &cx, &cy));
    EXPECT_DOUBLE_EQ(cx, 2.0 / 3.0);
    EXPECT_DOUBLE_EQ(cy, 0);
    EXPECT_FALSE(mask_center(m.frame, {0, 0, 4, 2}, 4097, &cx, &cy));
    // Selected grades summing to 0 or less give no centre.
    TestFrame neg(2, 1);
    neg.set(0, 0, -5, 0, 0);
    neg.set(1, 0, 5, 0, 0);
    EXPECT_FALSE(mask_center(neg.frame, {0, 0, 2, 1}, -10, &cx, &cy));
}

TEST(MaskQueries, CenterOfAFull1080pMaskDoesNotOverflow) {
    // 1920 x 1080 x 4096 = 8.5 * 10^9: past the 32-bit range.
    TestFrame m(1920, 1080, {4096, 0, 0});
    double cx = 0, cy = 0;
    ASSERT_TRUE(mask_center(m.frame, {0, 0, 1920, 1080}, 1, &cx, &cy));
    EXPECT_DOUBLE_EQ(cx, 959.5);
    EXPECT_DOUBLE_EQ(cy, 539.5);
}

using MaskLogicScript = MaskScript;

TEST_F(MaskLogicScript, CountsAndEmptyRegions) {
    EXPECT_TRUE(count_error("mask_not(2, 3, 0, 0, 1, 1, 0)"));
    EXPECT_TRUE(count_error("mask_and(2, 3, 4, 0, 0, 1, 1, 0, 0, 0)"));
    EXPECT_TRUE(count_error("mask_xor(2, 3, 4, 0, 0, 1, 1, 0, 0, 0, 0, 0)"));
    EXPECT_TRUE(count_error("mask_range(2, 0, 0, 1, 1)"));
    EXPECT_TRUE(count_error("mask_center(2, 0, 0, 1, 1, 1, 1)"));
    EXPECT_EQ(run("mask_and(2, 3, 99, 0, 0, 0, 5, 0, 0, 0, 0)"), "");
    EXPECT_NE(run("mask_or(2, 98, 4, 0, 0, 1, 1, 0, 0, 0, 0)").find("[98]"), std::string::npos);
    // The queries resolve their buffer even for an empty size.
    EXPECT_NE(run("mask_range(97, 0, 0, 0, 0, 1)").find("[97]"), std::string::npos);
    EXPECT_NE(run("mask_center(96, 0, 0, 0, 0, 1)").find("[96]"), std::string::npos);
}

TEST_F(MaskLogicScript, QueriesThroughLua) {
    frame(2).at(10, 20).y = 4096;
    EXPECT_EQ(run("x, y, w, h = mask_range(2, 0, 0, 64, 48, 1)"), "");
    EXPECT_EQ(number("x"), 10);
    EXPECT_EQ(number("y"), 20);
    EXPECT_EQ(number("w"), 1);
    EXPECT_EQ(number("h"), 1);
    EXPECT_EQ(run("assert(mask_range(2, 0, 0, 64, 48, 5000) == nil)"), "");
    // Wholly beyond the right and bottom edges: four nils, not a 1 x 1 box.
    EXPECT_EQ(run("local a, b, c, d = mask_range(2, 100, 100, 10, 10, 0)\n"
                  "assert(a == nil and b == nil and c == nil and d == nil)"),
              "");
    frame(2).at(0, 0).y = 4096;
    frame(2).at(2, 0).y = 2048;
    frame(2).at(10, 20).y = 0;
    EXPECT_EQ(run("cx, cy = mask_center(2, 0, 0, 64, 48, 1)"), "");
    EXPECT_DOUBLE_EQ(number("cx"), 2.0 / 3.0);
    EXPECT_DOUBLE_EQ(number("cy"), 0);
    EXPECT_EQ(run("assert(mask_center(2, 0, 0, 0, 0, 1) == nil)"), "");
}

TEST_F(MaskLogicScript, CombiningThroughLuaWithOffsets) {
    frame(2).at(1, 1) = {4096, 3, 3};
    frame(3).at(5, 5) = {2048, 3, 3};
    EXPECT_EQ(run("mask_sub(2, 3, 4, 1, 1, 1, 1, 5, 5, 0, 0)"), "");
    EXPECT_EQ(frame(4).at(0, 0).y, 2048);
    EXPECT_EQ(run("mask_xor(2, 3, 4, 1, 1, 1, 1, 5, 5, 7, 7)"), "");
    EXPECT_EQ(frame(4).at(7, 7).y, mask_combine(MaskOp::Xor, 4096, 2048));
    EXPECT_EQ(frame(4).at(7, 7).cr, 0);
    EXPECT_EQ(run("mask_not(2, 2, 0, 0, 2, 2, 0, 0)"), "");
    EXPECT_EQ(frame(2).at(1, 1).y, 0);
    EXPECT_EQ(frame(2).at(0, 0).y, 4096);
}
