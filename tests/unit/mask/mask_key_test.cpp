// Colour-key masks: the key-box grade rule, the per-space components and the
// hue range through 0.
#include <gtest/gtest.h>

#include <climits>

#include "color/convert.h"
#include "mask/key_mask.h"
#include "mask_script_fixture.h"
#include "mask_test_util.h"

namespace {

KeyBox box(int l1, int l2, int l3, int u1, int u2, int u3, int margin = 0, int in = 4096,
           int out = 0) {
    KeyBox b;
    b.lower[0] = l1, b.lower[1] = l2, b.lower[2] = l3;
    b.upper[0] = u1, b.upper[1] = u2, b.upper[2] = u3;
    b.margin = margin;
    b.in = static_cast<std::int16_t>(in);
    b.out = static_cast<std::int16_t>(out);
    return b;
}

}  // namespace

TEST(KeyBoxGrade, BoundsAreInclusiveAndMarginRampsLinearly) {
    const KeyBox b = box(100, -50, -50, 200, 50, 50, 10);
    EXPECT_EQ(key_box_grade(100, -50, 50, b), 4096);  // on the bounds
    EXPECT_EQ(key_box_grade(203, 0, 0, b), 2867);     // 3 above, 4096 * 7 / 10
    EXPECT_EQ(key_box_grade(99, 0, 0, b), 3686);      // 1 below
    EXPECT_EQ(key_box_grade(210, 0, 0, b), 0);        // excess equal to the margin
    EXPECT_EQ(key_box_grade(211, 0, 0, b), 0);
    // The largest single excess counts, not a sum: 3 and 5 give d = 5.
    EXPECT_EQ(key_box_grade(203, 55, 0, b), 2048);
}

TEST(KeyBoxGrade, HardEdgeNegativeMarginAndInvertedValues) {
    EXPECT_EQ(key_box_grade(201, 0, 0, box(0, 0, 0, 200, 0, 0, 0)), 0);
    EXPECT_EQ(key_box_grade(201, 0, 0, box(0, 0, 0, 200, 0, 0, -5)), 0);
    // In 0, out 4096: inverted, the ramp rises from near 0 towards 4096.
    const KeyBox inv = box(0, 0, 0, 200, 0, 0, 10, 0, 4096);
    EXPECT_EQ(key_box_grade(100, 0, 0, inv), 0);
    EXPECT_EQ(key_box_grade(201, 0, 0, inv), 409);  // trunc(4096 - 4096 * 9 / 10)
    EXPECT_EQ(key_box_grade(210, 0, 0, inv), 4096);
}

TEST(KeyBoxGrade, ExtremeBoundsDoNotOverflow) {
    const KeyBox b = box(INT_MIN, INT_MIN, INT_MIN, INT_MAX, INT_MAX, INT_MAX, INT_MAX);
    EXPECT_EQ(key_box_grade(-32768, 32767, 0, b), 4096);
    const KeyBox far = box(INT_MAX, 0, 0, INT_MAX, 0, 0, INT_MAX);
    // Excess INT_MAX + 32768 lies beyond the margin.
    EXPECT_EQ(key_box_grade(-32768, 0, 0, far), 0);
}

TEST(KeyBoxGrade, ReduceHue) {
    EXPECT_EQ(reduce_hue(-1), 3599);
    EXPECT_EQ(reduce_hue(3600), 0);
    EXPECT_EQ(reduce_hue(-3601), 3599);
    EXPECT_EQ(reduce_hue(7199), 3599);
    EXPECT_EQ(reduce_hue(INT_MIN), reduce_hue(INT_MIN % 3600 + 3600));
}

TEST(KeyMask, YcWritesGradeAndZeroChromaAtDestination) {
    TestFrame src(4, 2), dst(6, 3, {7, 7, 7});
    src.set(0, 0, 150, 0, 0);
    src.set(1, 0, 203, 900, -900);
    src.set(2, 0, 300, 0, 0);
    key_mask_yc(src.frame, dst.frame, {0, 0, 1, 1, 3, 1},
                box(100, -1000, -1000, 200, 1000, 1000, 10));
    EXPECT_EQ(dst.y(1, 1), 4096);
    EXPECT_EQ(dst.y(2, 1), 2867);
    EXPECT_EQ(dst.y(3, 1), 0);
    for (int x = 1; x < 4; ++x) {
        EXPECT_EQ(dst.at(x, 1).cb, 0);
        EXPECT_EQ(dst.at(x, 1).cr, 0);
    }
    EXPECT_EQ(dst.y(0, 1), 7);  // outside the area: untouched
    EXPECT_EQ(dst.y(4, 1), 7);
    EXPECT_EQ(dst.y(1, 0), 7);
}

TEST(KeyMask, RgbTruncatesWithoutClamping) {
    // Y 4000, Cr 1000: R = 1402 + 4000 = 5402, outside 0..4096 yet compared as is.
    TestFrame img(1, 1);
    img.set(0, 0, 4000, 0, 1000);
    key_mask_rgb(img.frame, img.frame, {0, 0, 0, 0, 1, 1}, box(5402, 0, 0, 5402, 10000, 10000));
    EXPECT_EQ(img.y(0, 0), 4096);
    img.set(0, 0, 4000, 0, 1000);
    key_mask_rgb(img.frame, img.frame, {0, 0, 0, 0, 1, 1}, box(5403, 0, 0, 6000, 10000, 10000));
    EXPECT_EQ(img.y(0, 0), 0);
}

TEST(KeyMask, HsvHueRangeThroughZero) {
    // rgb2yc of pure red (4096, 0, 0) is (1224, -692, 2048): hue near 0.
    // Y 1224, Cb -692, Cr 2048 gives R 4095.3, G 0.05, B -2.2: hue just below
    // 360 degrees or just above 0 depending on rounding; check both sides.
    TestFrame img(3, 1);
    img.set(0, 0, 1224, -692, 2048);   // red
    img.set(1, 0, 2048, 1000, -1000);  // blue-green, far from red
    img.set(2, 0, 1000, 0, 0);         // grey, hue 0
    TestFrame out(3, 1);
    // Bounds 3500..100 as the binding leaves them after reduce_hue(-100).
    const KeyBox b = box(3500, 2000, 0, 100, 4096, 4096);
    key_mask_hsv(img.frame, out.frame, {0, 0, 0, 0, 3, 1}, b);
    EXPECT_EQ(out.y(0, 0), 4096);
    EXPECT_EQ(out.y(1, 0), 0);
    EXPECT_EQ(out.y(2, 0), 0);  // saturation 0 fails the S bound
    key_mask_hsv_int(img.frame, out.frame, {0, 0, 0, 0, 3, 1}, b);
    EXPECT_EQ(out.y(0, 0), 4096);
    EXPECT_EQ(out.y(1, 0), 0);
}

TEST(KeyMask, HsvWrappedMarginMeasuresAgainstShiftedBounds) {
    TestFrame img(1, 1), out(1, 1);
    img.set(0, 0, 2404, -1355, -1716);  // a green near hue 1200
    const Triple rgb = yc_to_rgb(2404, -1355, -1716);
    const int h = rgb_to_hsv_int(trunc_to_int(rgb.a), trunc_to_int(rgb.b), trunc_to_int(rgb.c)).a;
    ASSERT_GT(h, 1000);
    const PairArea one{0, 0, 0, 0, 1, 1};
    // Range (h + 10)..(h - 200) passes through 0.  The pixel lies below the
    // lower bound and is not shifted, so it is measured against the upper
    // bound: excess 200 of margin 400.  (Against the lower bound it would be 10.)
    key_mask_hsv_int(img.frame, out.frame, one, box(h + 10, 0, 0, h - 200, 4096, 4096, 400));
    EXPECT_EQ(out.y(0, 0), 2048);
    // Range (h - 10)..(h - 300): the pixel is at or above the lower bound, is
    // shifted down by 3600 together with the bound, and lies inside.
    key_mask_hsv_int(img.frame, out.frame, one, box(h - 10, 0, 0, h - 300, 4096, 4096, 400));
    EXPECT_EQ(out.y(0, 0), 4096);
    // A plain range (h + 100)..(h + 300) with the same margin ramps from below.
    key_mask_hsv_int(img.frame, out.frame, one, box(h + 100, 0, 0, h + 300, 4096, 4096, 400));
    EXPECT_EQ(out.y(0, 0), 3072);
}

using KeyMaskScript = MaskScript;

TEST_F(KeyMaskScript, ArgumentFormsAndDefaults) {
    const std::string head = "mkmask(2, 3, 0, 0, 1, 1, 0, 0, 0, -100, -100, 1000, 100, 100";
    EXPECT_TRUE(count_error(head + ", 5)"));                                    // 15
    EXPECT_TRUE(count_error("mkmask(2, 3, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0)"));  // 13
    EXPECT_TRUE(count_error(head + ", 1, 2, 3, 4)"));                           // 18
    frame(2).at(0, 0) = {500, 0, 0};
    EXPECT_EQ(run(head + ")"), "");
    EXPECT_EQ(frame(3).at(0, 0).y, 4096);
    EXPECT_EQ(run(head + ", 77, -5)"), "");
    EXPECT_EQ(frame(3).at(0, 0).y, 77);
    frame(2).at(0, 0) = {1003, 0, 0};  // 3 above the upper bound
    EXPECT_EQ(run(head + ", 4096, 0, 10)"), "");
    EXPECT_EQ(frame(3).at(0, 0).y, 2867);
    // In and out values keep their low 16 bits.
    frame(2).at(0, 0) = {500, 0, 0};
    EXPECT_EQ(run(head + ", 40000, 0)"), "");
    EXPECT_EQ(frame(3).at(0, 0).y, 40000 - 65536);
}

TEST_F(KeyMaskScript, EmptySizeResolvesNoBufferAndBadBuffersAreReported) {
    EXPECT_EQ(run("mkmask_rgb(98, 99, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0)"), "");
    EXPECT_NE(run("mkmask_rgb(98, 99, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0)").find("[98]"),
              std::string::npos);
    EXPECT_NE(run("mkmask_hsv_int(2, 99, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0)").find("[99]"),
              std::string::npos);
    EXPECT_NE(run("mkmask(2, 3, 'x', 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0)").find("number expected"),
              std::string::npos);
}

TEST_F(KeyMaskScript, NegativeSourcePositionShiftsTheDestination) {
    paint(2, 500, 0, 0);
    paint(3, 9, 9, 9);
    EXPECT_EQ(run("mkmask(2, 3, -5, 0, 10, 1, 0, 0, 0, -9, -9, 1000, 9, 9)"), "");
    EXPECT_EQ(frame(3).at(4, 0).y, 9);
    for (int x = 5; x < 10; ++x) {
        EXPECT_EQ(frame(3).at(x, 0).y, 4096);
        EXPECT_EQ(frame(3).at(x, 0).cb, 0);
    }
    EXPECT_EQ(frame(3).at(10, 0).y, 9);
}

TEST_F(KeyMaskScript, HueBoundsAreReducedModulo3600) {
    frame(2).at(0, 0) = {1224, -692, 2048};  // red, hue near 0
    frame(2).at(1, 0) = {467, 2048, -332};   // blue, hue near 2400
    const std::string tail = ", 0, 0, 2, 1, 0, 0, ";
    EXPECT_EQ(run("mkmask_hsv(2, 3" + tail + "-100, 1000, 0, 100, 4096, 4096)"), "");
    EXPECT_EQ(frame(3).at(0, 0).y, 4096);
    EXPECT_EQ(frame(3).at(1, 0).y, 0);
    EXPECT_EQ(run("mkmask_hsv(2, 3" + tail + "3600, 1000, 0, 7199, 4096, 4096)"), "");
    EXPECT_EQ(frame(3).at(0, 0).y, 4096);
    EXPECT_EQ(frame(3).at(1, 0).y, 4096);
    EXPECT_EQ(run("mkmask_hsv_int(2, 3" + tail + "-1300, 1000, 0, -1100, 4096, 4096)"), "");
    EXPECT_EQ(frame(3).at(0, 0).y, 0);
    EXPECT_EQ(frame(3).at(1, 0).y, 4096);  // 2300..2500
}
