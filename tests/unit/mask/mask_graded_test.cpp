// Graded masks: the distance grade, the point and line distances in each
// colour space, and the argument forms.
#include <cmath>
#include <limits>

#include "mask/color_spaces.h"
#include "mask/graded_mask.h"
#include "mask_script_fixture.h"
#include "mask_test_util.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

GradedMask point(MaskSpace space, int k1, int k2, int k3, double inner, double outer, double w1 = 1,
                 double w2 = 1, double w3 = 1) {
    GradedMask m;
    m.space = space;
    m.key_a[0] = k1, m.key_a[1] = k2, m.key_a[2] = k3;
    m.inner = inner, m.outer = outer;
    m.weight[0] = w1, m.weight[1] = w2, m.weight[2] = w3;
    return m;
}

GradedMask line(GradedMask m, int b1, int b2, int b3) {
    m.line = true;
    m.key_b[0] = b1, m.key_b[1] = b2, m.key_b[2] = b3;
    return m;
}

TestFrame run_mask(const TestFrame& src, const GradedMask& m) {
    TestFrame out(src.frame.max_w, src.frame.max_h, {9, 9, 9});
    graded_mask(src.frame, out.frame, {0, 0, 0, 0, src.frame.max_w, src.frame.max_h}, m);
    return out;
}

}  // namespace

TEST(DistanceGrade, RampAndNonFiniteValues) {
    EXPECT_EQ(distance_grade(200, 100, 300), 2048);
    EXPECT_EQ(distance_grade(100, 100, 300), 4096);
    EXPECT_EQ(distance_grade(300, 100, 300), 0);
    EXPECT_EQ(distance_grade(150, 100, 50), 0);  // outer below inner: no ramp
    EXPECT_EQ(distance_grade(kNaN, 100, 300), 0);
    EXPECT_EQ(distance_grade(5, kNaN, 300), 0);
    EXPECT_EQ(distance_grade(5, 0, kNaN), 0);
    EXPECT_EQ(distance_grade(5, 0, kInf), 0);  // inf / inf
    EXPECT_EQ(distance_grade(5, -kInf, kInf), 0);
    EXPECT_EQ(distance_grade(kInf, kInf, kInf), 4096);
    EXPECT_EQ(distance_grade(5, kInf, 0), 4096);
}

TEST(GradedMaskKernel, PointWorkedExample) {
    TestFrame src(3, 1);
    src.set(0, 0, 2248, 0, 0);
    src.set(1, 0, 2048, 60, 80);
    src.set(2, 0, 2048, 180, -240);  // distance 300
    const TestFrame out = run_mask(src, point(MaskSpace::Yc, 2048, 0, 0, 100, 300));
    EXPECT_EQ(out.pixels[0].y, 2048);
    EXPECT_EQ(out.pixels[1].y, 4096);
    EXPECT_EQ(out.pixels[2].y, 0);
    for (const auto& p : out.pixels) {
        EXPECT_EQ(p.cb, 0);
        EXPECT_EQ(p.cr, 0);
    }
}

TEST(GradedMaskKernel, ZeroWeightIgnoresAComponent) {
    TestFrame src(2, 1);
    src.set(0, 0, 0, 10, 0);
    src.set(1, 0, 4000, 10, 0);
    const TestFrame out = run_mask(src, point(MaskSpace::Yc, 2048, 0, 0, 20, 20, 0, 1, 1));
    EXPECT_EQ(out.pixels[0].y, 4096);
    EXPECT_EQ(out.pixels[1].y, 4096);
}

TEST(GradedMaskKernel, LineWithEqualEndsIsThePointMask) {
    const TestFrame src = varied_frame(32, 8);
    for (MaskSpace s : {MaskSpace::Yc, MaskSpace::Rgb, MaskSpace::Hsv, MaskSpace::HsvP,
                        MaskSpace::HsvC, MaskSpace::Lab}) {
        // Key hue 1000 keeps the point mask's hue wrap out of play for Hsv.
        const GradedMask p = point(s, 1000, 300, 2000, 300, 900, 0.5, 1.5, 2);
        const TestFrame a = run_mask(src, p);
        const TestFrame b = run_mask(src, line(p, 1000, 300, 2000));
        EXPECT_TRUE(same_grades(a, b)) << static_cast<int>(s);
    }
}

TEST(GradedMaskKernel, LineMeasuresToTheSegment) {
    // Segment from (1000, 0, 0) to (3000, 0, 0) in Y, Cb, Cr.
    TestFrame src(4, 1);
    src.set(0, 0, 2000, 0, 0);    // on the segment
    src.set(1, 0, 2000, 150, 0);  // 150 beside it
    src.set(2, 0, 3200, 0, 0);    // 200 past the end B
    src.set(3, 0, 500, 0, 0);     // 500 before A
    const TestFrame out =
        run_mask(src, line(point(MaskSpace::Yc, 1000, 0, 0, 100, 300), 3000, 0, 0));
    EXPECT_EQ(out.pixels[0].y, 4096);
    EXPECT_EQ(out.pixels[1].y, 3072);
    EXPECT_EQ(out.pixels[2].y, 2048);
    EXPECT_EQ(out.pixels[3].y, 0);
}

TEST(GradedMaskKernel, PointHsvWrapsHueButLineHsvDoesNot) {
    TestFrame src(1, 1);
    src.set(0, 0, 1224, -692, 2048);  // red, hue within a few tenths of 0 or 3600
    const double h = mask_space::Hsv{}(src.pixels[0]).a;
    const int near_zero_key = h > 1800 ? 50 : 3550;  // about 100 away around the circle
    // Hue only (weights 1, 0, 0): around the circle the key is within 150.
    EXPECT_EQ(
        run_mask(src, point(MaskSpace::Hsv, near_zero_key, 0, 0, 150, 150, 1, 0, 0)).pixels[0].y,
        4096);
    // A green pixel lies inside the hue segment 50..3550 of a line mask: no
    // wrap, the segment runs through the whole hue range.
    TestFrame green(1, 1);
    green.set(0, 0, 2404, -1355, -1716);
    const GradedMask l = line(point(MaskSpace::Hsv, 3550, 0, 0, 1, 1, 1, 0, 0), 50, 0, 0);
    EXPECT_EQ(run_mask(green, l).pixels[0].y, 4096);
    // The red pixel, near hue 0 or 3600, lies outside 50..3550 by under 60.
    EXPECT_EQ(run_mask(src, line(point(MaskSpace::Hsv, 3550, 0, 0, 60, 60, 1, 0, 0), 50, 0, 0))
                  .pixels[0]
                  .y,
              4096);
    EXPECT_EQ(run_mask(src, line(point(MaskSpace::Hsv, 3500, 0, 0, 40, 40, 1, 0, 0), 100, 0, 0))
                  .pixels[0]
                  .y,
              0);
}

TEST(GradedMaskKernel, FirstWeightHasNoEffectOnHsvPAndHsvC) {
    const TestFrame src = varied_frame(32, 8, 11);
    for (MaskSpace s : {MaskSpace::HsvP, MaskSpace::HsvC}) {
        const GradedMask a = point(s, 600, 2000, 3000, 400, 1500, 1, 0.7, 1.3);
        GradedMask b = a;
        b.weight[0] = 25;
        EXPECT_TRUE(same_grades(run_mask(src, a), run_mask(src, b)));
        EXPECT_TRUE(same_grades(run_mask(src, line(a, 100, 100, 100)),
                                run_mask(src, line(b, 100, 100, 100))));
        // ... while the second weight does matter.
        b.weight[1] = 3;
        EXPECT_FALSE(same_grades(run_mask(src, a), run_mask(src, b)));
    }
}

TEST(GradedMaskKernel, LabKeyIsGivenInYcbcr) {
    TestFrame src(2, 1);
    src.set(0, 0, 1500, -300, 700);
    src.set(1, 0, 1500, 300, -700);
    const TestFrame out = run_mask(src, point(MaskSpace::Lab, 1500, -300, 700, 0, 0));
    EXPECT_EQ(out.pixels[0].y, 4096);
    EXPECT_EQ(out.pixels[1].y, 0);
}

TEST(GradedMaskKernel, NonFiniteWeightsAndRadiiGiveDefinedGrades) {
    const TestFrame src = varied_frame(16, 4, 3);
    for (double bad : {kNaN, kInf, -kInf}) {
        for (MaskSpace s : {MaskSpace::Yc, MaskSpace::HsvP, MaskSpace::Lab}) {
            for (const GradedMask& m :
                 {point(s, 100, 0, 0, 100, 300, bad, 1, 1), point(s, 100, 0, 0, bad, 300),
                  point(s, 100, 0, 0, 0, bad),
                  line(point(s, 100, 0, 0, 10, 900, 1, bad, 1), 3000, 5, 5)}) {
                for (const auto& p : run_mask(src, m).pixels) {
                    EXPECT_GE(p.y, 0);
                    EXPECT_LE(p.y, 4096);
                }
            }
        }
    }
}

using GradedScript = MaskScript;

TEST_F(GradedScript, ArgumentCounts) {
    const std::string p = "mkmask_p(2, 3, 0, 0, 1, 1, 0, 0, 2048, 0, 0, 100";
    EXPECT_EQ(run(p + ")"), "");
    EXPECT_EQ(run(p + ", 300)"), "");
    EXPECT_EQ(run(p + ", 300, 1, 1, 1)"), "");
    EXPECT_TRUE(count_error(p + ", 300, 1)"));
    EXPECT_TRUE(count_error(p + ", 300, 1, 1)"));
    const std::string l = "mkmask_l_lab(2, 3, 0, 0, 1, 1, 0, 0, 0, 0, 0, 4096, 0, 0, 10";
    EXPECT_EQ(run(l + ")"), "");
    EXPECT_EQ(run(l + ", 30)"), "");
    EXPECT_EQ(run(l + ", 30, 1, 1, 1)"), "");
    EXPECT_TRUE(count_error(l + ", 30, 1)"));
    EXPECT_TRUE(count_error(l + ", 30, 1, 1)"));
    EXPECT_EQ(run("mkmask_p_hsv(98, 99, 0, 0, 1, 0, 0, 0, 0, 0, 0, 10)"), "");
    EXPECT_NE(run("mkmask_p_hsv(98, 99, 0, 0, 1, 1, 0, 0, 0, 0, 0, 10)").find("[98]"),
              std::string::npos);
}

TEST_F(GradedScript, ShortFormIsHardEdgedAndRadiiAreReal) {
    frame(2).at(0, 0) = {2248, 0, 0};
    frame(2).at(1, 0) = {2100, 0, 0};
    EXPECT_EQ(run("mkmask_p(2, 3, 0, 0, 2, 1, 0, 0, 2048, 0, 0, 100)"), "");
    EXPECT_EQ(frame(3).at(0, 0).y, 0);
    EXPECT_EQ(frame(3).at(1, 0).y, 4096);
    EXPECT_EQ(run("mkmask_p(2, 3, 0, 0, 2, 1, 0, 0, 2048, 0, 0, 100, 300)"), "");
    EXPECT_EQ(frame(3).at(0, 0).y, 2048);
    // Radius 199.5 is used as is, not truncated: distance 200 gets the ramp.
    EXPECT_EQ(run("mkmask_p(2, 3, 0, 0, 1, 1, 0, 0, 2048, 0, 0, 199.5, 200.5)"), "");
    EXPECT_EQ(frame(3).at(0, 0).y, 2048);
    EXPECT_EQ(
        run("mkmask_l_rgb(2, 4, 0, 0, 2, 1, 5, 5, 0, 0, 0, 4096, 4096, 4096, 1000, 1000, 1, 1, 1)"),
        "");
    EXPECT_EQ(frame(4).at(5, 5).y, 4096);  // greys lie on the black-white segment
    EXPECT_EQ(frame(4).at(6, 5).y, 4096);
}
