// Difference masks: the grade rule, fixed-point and real distances, the hue
// circle, overflow-free sums and the argument forms.
#include <climits>
#include <cmath>
#include <limits>

#include "mask/difference_mask.h"
#include "mask_script_fixture.h"
#include "mask_test_util.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

DifferenceMask diff(MaskSpace s, double gain = 1, double w1 = 1, double w2 = 1, double w3 = 1,
                    double threshold = 0) {
    DifferenceMask m;
    m.space = s;
    m.gain = gain;
    m.weight[0] = w1, m.weight[1] = w2, m.weight[2] = w3;
    m.threshold = threshold;
    return m;
}

// Grade of one pixel pair.
int grade(PIXEL_YC a, PIXEL_YC b, const DifferenceMask& m) {
    TestFrame fa(1, 1, a), fb(1, 1, b), out(1, 1, {9, 9, 9});
    difference_mask(fa.frame, fb.frame, out.frame, {0, 0, 0, 0, 0, 0, 1, 1}, m);
    EXPECT_EQ(out.at(0, 0).cb, 0);
    EXPECT_EQ(out.at(0, 0).cr, 0);
    return out.at(0, 0).y;
}

}  // namespace

TEST(DifferenceGrade, ThresholdClampAndNonFinite) {
    EXPECT_EQ(difference_grade(0, 1, 0), 0);
    EXPECT_EQ(difference_grade(1000, 1, 0), 1000);
    EXPECT_EQ(difference_grade(5000, 1, 0), 4096);
    EXPECT_EQ(difference_grade(1000, 2, 0), 2000);
    EXPECT_EQ(difference_grade(1000, 1, 1500), 0);
    EXPECT_EQ(difference_grade(2000, 1, 1500), 2000);  // no ramp from the threshold
    EXPECT_EQ(difference_grade(1000, -1, -5000), 0);   // negative gain
    EXPECT_EQ(difference_grade(kNaN, 1, 0), 0);
    EXPECT_EQ(difference_grade(kInf, 0, 0), 0);  // inf * 0
    EXPECT_EQ(difference_grade(kInf, 1, 0), 4096);
    EXPECT_EQ(difference_grade(10, kInf, 0), 4096);
    EXPECT_EQ(difference_grade(10, -kInf, -kInf), 0);
    EXPECT_EQ(difference_grade(10, 1, kNaN), 10);
}

TEST(DifferenceMaskKernel, YcFixedPoint) {
    const auto yc = MaskSpace::Yc;
    EXPECT_EQ(grade({3000, 0, 0}, {2000, 0, 0}, diff(yc)), 1000);
    EXPECT_EQ(grade({5000, 0, 0}, {0, 0, 0}, diff(yc)), 4096);
    EXPECT_EQ(grade({1000, 0, 0}, {3000, 0, 0}, diff(yc, 2)), 4000);
    EXPECT_EQ(grade({1000, 30, 40}, {1000, 0, 0}, diff(yc)), 50);
    EXPECT_EQ(grade({3000, 30, 40}, {1000, 0, 0}, diff(yc, 1, 0, 1, 1)), 50);  // Y ignored
    // A minus B with a flooring shift: W = 2048, +1 gives 0, -1 gives -1;
    // squared, the distances of those pairs are 0 and 1.
    EXPECT_EQ(grade({1, 0, 0}, {0, 0, 0}, diff(yc, 1000, 0.5, 0, 0)), 0);
    EXPECT_EQ(grade({0, 0, 0}, {1, 0, 0}, diff(yc, 1000, 0.5, 0, 0)), 1000);
    EXPECT_EQ(grade({2000, 0, 0}, {1000, 0, 0}, diff(yc, 1, 1, 1, 1, 1500)), 0);
    EXPECT_EQ(grade({3000, 0, 0}, {1000, 0, 0}, diff(yc, 1, 1, 1, 1, 1500)), 2000);
}

TEST(DifferenceMaskKernel, FixedPointSumsDoNotOverflow) {
    // Differences of 65535 with weight 16 (W = 65536): 32-bit products and
    // squares would overflow.  The distance is huge, so the grade clamps.
    EXPECT_EQ(
        grade({32767, 32767, 32767}, {-32768, -32768, -32768}, diff(MaskSpace::Yc, 1, 16, 16, 16)),
        4096);
    // A weight of 1e12 saturates W at INT_MAX; with gain tiny the exact
    // distance still comes out: (1 * INT_MAX) >> 12 = 524287.
    EXPECT_EQ(grade({1, 0, 0}, {0, 0, 0}, diff(MaskSpace::Yc, 1.0 / 256, 1e12, 0, 0)),
              static_cast<int>(524287.0 / 256));
    EXPECT_EQ(grade({1, 0, 0}, {0, 0, 0}, diff(MaskSpace::Rgb, 1, kNaN, kNaN, kNaN)), 0);
}

TEST(DifferenceMaskKernel, RgbTruncatesComponents) {
    // Y differs by 1 only: every channel differs by 1 after truncation.
    const int g = grade({1001, 0, 0}, {1000, 0, 0}, diff(MaskSpace::Rgb, 1000));
    EXPECT_EQ(g, static_cast<int>(std::sqrt(3.0) * 1000));
}

TEST(DifferenceMaskKernel, HsvHueAroundTheCircle) {
    // Two reds on either side of hue 0: a few tenths apart around the
    // circle, not about 3600.
    const PIXEL_YC red_low{1224, -700, 2048}, red_high{1224, -680, 2048};
    const int g = grade(red_low, red_high, diff(MaskSpace::Hsv, 1, 1, 0, 0));
    EXPECT_GT(g, 0);
    EXPECT_LT(g, 100);
}

TEST(DifferenceMaskKernel, HsvPWeightsActInsideTheConversion) {
    const PIXEL_YC a{1224, -692, 2048}, b{2404, -1355, -1716};
    const int plain = grade(a, b, diff(MaskSpace::HsvP, 0.1));
    EXPECT_GT(plain, 0);
    // The third weight is not used by the two-weight members.
    EXPECT_EQ(grade(a, b, diff(MaskSpace::HsvP, 0.1, 1, 1, 50)), plain);
    EXPECT_EQ(grade(a, b, diff(MaskSpace::HsvC, 0.1, 0, 0)), 0);  // both weights 0
    EXPECT_NE(grade(a, b, diff(MaskSpace::HsvC, 0.1, 2, 1)),
              grade(a, b, diff(MaskSpace::HsvC, 0.1)));
}

TEST(DifferenceMaskKernel, IdenticalImagesGiveZeroInEverySpace) {
    TestFrame img = varied_frame(16, 4, 5), out(16, 4, {9, 9, 9});
    for (MaskSpace s : {MaskSpace::Yc, MaskSpace::Rgb, MaskSpace::Hsv, MaskSpace::HsvP,
                        MaskSpace::HsvC, MaskSpace::Lab}) {
        difference_mask(img.frame, img.frame, out.frame, {0, 0, 0, 0, 0, 0, 16, 4}, diff(s, 100));
        for (const auto& p : out.pixels) EXPECT_EQ(p.y, 0);
    }
}

using DifferenceScript = MaskScript;

TEST_F(DifferenceScript, ArgumentCounts) {
    const std::string head = "(2, 3, 4, 0, 0, 1, 1, 0, 0, 0, 0";
    for (const char* f : {"mkmask_diff", "mkmask_diff_rgb", "mkmask_diff_hsv", "mkmask_diff_lab"}) {
        const std::string call = std::string(f) + head;
        EXPECT_EQ(run(call + ")"), "") << f;
        EXPECT_EQ(run(call + ", 1)"), "") << f;
        EXPECT_EQ(run(call + ", 1, 1, 1, 1)"), "") << f;
        EXPECT_EQ(run(call + ", 1, 1, 1, 1, 0)"), "") << f;
        EXPECT_TRUE(count_error(call + ", 1, 1)")) << f;
        EXPECT_TRUE(count_error(call + ", 1, 1, 1)")) << f;
    }
    for (const char* f : {"mkmask_diff_hsv_p", "mkmask_diff_hsv_c"}) {
        const std::string call = std::string(f) + head;
        EXPECT_EQ(run(call + ", 1, 1, 1)"), "") << f;
        EXPECT_EQ(run(call + ", 1, 1, 1, 0)"), "") << f;
        EXPECT_TRUE(count_error(call + ", 1, 1)")) << f;
        EXPECT_TRUE(count_error(call + ", 1, 1, 1, 1, 1)")) << f;
    }
    EXPECT_EQ(run("mkmask_diff(97, 98, 99, 0, 0, 0, 1, 0, 0, 0, 0)"), "");
    EXPECT_NE(run("mkmask_diff(2, 98, 99, 0, 0, 1, 1, 0, 0, 0, 0)").find("[98]"),
              std::string::npos);
}

TEST_F(DifferenceScript, ThresholdIsIntegerExceptForLab) {
    frame(2).at(0, 0) = {3000, 0, 0};
    frame(3).at(0, 0) = {2000, 0, 0};
    // Threshold 1000.9 truncates to 1000 in mkmask_diff: 1000 is not below it.
    EXPECT_EQ(run("mkmask_diff(2, 3, 4, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 1000.9)"), "");
    EXPECT_EQ(frame(4).at(0, 0).y, 1000);
    // In Lab the threshold stays real.
    EXPECT_EQ(run("mkmask_diff_lab(2, 3, 4, 0, 0, 1, 1, 0, 0, 0, 0, 100, 1, 1, 1, 0)"), "");
    const int lab = frame(4).at(0, 0).y;
    ASSERT_GT(lab, 0);
    ASSERT_LT(lab, 4096);
    EXPECT_EQ(run("mkmask_diff_lab(2, 3, 4, 0, 0, 1, 1, 0, 0, 0, 0, 100, 1, 1, 1, " +
                  std::to_string(lab) + ".9999)"),
              "");
    // X lies in [lab, lab + 1), below the real threshold lab.9999 (a
    // truncated threshold lab would have let it through).
    EXPECT_EQ(frame(4).at(0, 0).y, 0);
}
