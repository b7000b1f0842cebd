// Near-colour merging: hard choice, distance-weighted blend and mask, the
// Lab weights, the non-finite cases and the argument forms.
#include <algorithm>
#include <cmath>
#include <limits>

#include "color/convert.h"
#include "mask/near_merge.h"
#include "mask_script_fixture.h"
#include "mask_test_util.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

NearMerge near(int y, int cb, int cr, double p = 0, double w1 = 1, double w2 = 1, double w3 = 1,
               double k = 1, bool lab = false) {
    NearMerge m;
    m.lab = lab;
    m.key[0] = y, m.key[1] = cb, m.key[2] = cr;
    m.weight[0] = w1, m.weight[1] = w2, m.weight[2] = w3;
    m.multiplier = k;
    m.exponent = p;
    return m;
}

struct Pair {
    TestFrame a{1, 1}, b{1, 1}, out{1, 1, {9, 9, 9}};
    Pair(PIXEL_YC pa, PIXEL_YC pb) { a.pixels[0] = pa, b.pixels[0] = pb; }
    PIXEL_YC merged(const NearMerge& m) {
        merge_near(a.frame, b.frame, out.frame, {0, 0, 0, 0, 0, 0, 1, 1}, m);
        return out.pixels[0];
    }
    int grade(const NearMerge& m) {
        mask_near(a.frame, b.frame, out.frame, {0, 0, 0, 0, 0, 0, 1, 1}, m);
        EXPECT_EQ(out.pixels[0].cb, 0);
        EXPECT_EQ(out.pixels[0].cr, 0);
        return out.pixels[0].y;
    }
};

}  // namespace

TEST(NearWeight, HardChoiceBlendAndUndefinedRatios) {
    EXPECT_EQ(near_weight(100, 300, 0), 1);
    EXPECT_EQ(near_weight(300, 100, 0), 0);
    EXPECT_EQ(near_weight(100, 100, 0), 0);  // tie goes to B
    EXPECT_DOUBLE_EQ(near_weight(100, 300, 1), 0.75);
    EXPECT_DOUBLE_EQ(near_weight(100, 300, -1), 0.25);    // the farther weighs more
    EXPECT_DOUBLE_EQ(near_weight(0, 0, 2), 0.5);          // 0/0
    EXPECT_DOUBLE_EQ(near_weight(0, 0, -1), 0.5);         // inf/inf
    EXPECT_DOUBLE_EQ(near_weight(0, 5, -1), 0.0);         // dA^p infinite: t = 0
    EXPECT_DOUBLE_EQ(near_weight(-100, -300, 0.5), 0.5);  // negative multiplier, root of negative
    EXPECT_DOUBLE_EQ(near_weight(100, 300, kNaN), 0.5);
}

TEST(NearMergeKernel, HardChoiceCopiesWholePixels) {
    Pair p({2100, 10, -10}, {1800, -40, 30});
    EXPECT_EQ(p.merged(near(2048, 0, 0)).y, 2100);
    EXPECT_EQ(p.out.pixels[0].cb, 10);
    EXPECT_EQ(p.grade(near(2048, 0, 0)), 4096);
    EXPECT_EQ(p.merged(near(1700, 0, 0)).y, 1800);
    EXPECT_EQ(p.grade(near(1700, 0, 0)), 0);
    Pair tie({2148, 0, 0}, {1948, 0, 0});
    EXPECT_EQ(tie.merged(near(2048, 0, 0)).y, 1948);
    EXPECT_EQ(tie.grade(near(2048, 0, 0)), 0);
}

TEST(NearMergeKernel, BlendWithExponentOne) {
    // dA = 100, dB = 300: t = 0.75.
    Pair p({2148, 40, -3}, {2348, -20, 5});
    EXPECT_EQ(p.grade(near(2048, 0, 0, 1, 1, 0, 0)), 3072);
    const PIXEL_YC m = p.merged(near(2048, 0, 0, 1, 1, 0, 0));
    EXPECT_EQ(m.y, static_cast<int>(0.75 * 2148 + 0.25 * 2348));
    EXPECT_EQ(m.cb, static_cast<int>(0.75 * 40 + 0.25 * -20));
    EXPECT_EQ(m.cr, static_cast<int>(0.75 * -3 + 0.25 * 5));  // -1, toward zero
    // Both equal to the key with p = 1: 0/0 counts as an equal split.
    Pair same({2048, 0, 0}, {2048, 0, 0});
    EXPECT_EQ(same.grade(near(2048, 0, 0, 1)), 2048);
    EXPECT_EQ(same.merged(near(2048, 0, 0, 1)).y, 2048);
}

// Where A and B hold the same value in a component, the blend writes that
// value whatever the weight (t x + (1 - t) x must not truncate to x - 1):
// whole pixels alike, and B differing from A in one component only, so
// the distances and the weight vary from pixel to pixel.
TEST(NearMergeKernel, BlendKeepsComponentsTheImagesAgreeOn) {
    const int w = 64, h = 32;
    for (bool lab : {false, true})
        for (double p : {1.0, 2.5})
            for (int differing = -1; differing < 3; ++differing) {
                TestFrame a = varied_frame(w, h, 11), b(w, h), out(w, h);
                b.pixels.assign(a.pixels.begin(), a.pixels.end());  // b.frame keeps its buffer
                unsigned s = 5;
                for (PIXEL_YC& q : b.pixels) {
                    s = s * 1664525u + 1013904223u;
                    const auto shift = static_cast<std::int16_t>((s >> 20) % 600 + 1);
                    if (differing == 0) q.y = static_cast<std::int16_t>(q.y + shift);
                    if (differing == 1) q.cb = static_cast<std::int16_t>(q.cb - shift);
                    if (differing == 2) q.cr = static_cast<std::int16_t>(q.cr + shift);
                }
                merge_near(a.frame, b.frame, out.frame, {0, 0, 0, 0, 0, 0, w, h},
                           near(2048, 300, -200, p, 1, 1, 1, 1, lab));
                int wrong = 0;
                for (std::size_t i = 0; i < out.pixels.size(); ++i) {
                    const PIXEL_YC &x = a.pixels[i], &z = b.pixels[i], &o = out.pixels[i];
                    wrong += (differing != 0 && o.y != x.y) + (differing != 1 && o.cb != x.cb) +
                             (differing != 2 && o.cr != x.cr);
                    if (differing >= 0) {  // the one that differs lies between A and B
                        const int lo[3] = {std::min(x.y, z.y), std::min(x.cb, z.cb),
                                           std::min(x.cr, z.cr)};
                        const int hi[3] = {std::max(x.y, z.y), std::max(x.cb, z.cb),
                                           std::max(x.cr, z.cr)};
                        const int v[3] = {o.y, o.cb, o.cr};
                        wrong += v[differing] < lo[differing] || v[differing] > hi[differing];
                    }
                }
                EXPECT_EQ(wrong, 0) << "lab " << lab << " p " << p << " differing " << differing;
            }
}

TEST(NearMergeKernel, WeightsAndMultiplier) {
    // Weights 1, 0, 0: only luma counts, however far the chroma.
    Pair p({2100, 2000, 2000}, {1900, 0, 0});
    EXPECT_EQ(p.grade(near(2048, 0, 0, 0, 1, 0, 0)), 4096);
    EXPECT_EQ(p.grade(near(2048, 0, 0)), 0);
    // A positive multiplier changes nothing; zero makes every pair a tie.
    Pair q({2148, 0, 0}, {2348, 0, 0});
    EXPECT_EQ(q.grade(near(2048, 0, 0, 1, 1, 1, 1, 7)), 3072);
    EXPECT_EQ(q.grade(near(2048, 0, 0, 0, 1, 1, 1, 0)), 0);
    EXPECT_EQ(q.grade(near(2048, 0, 0, 0.5, 1, 1, 1, -1)), 2048);  // roots of negatives
}

TEST(NearMergeKernel, LabWeightsActOnLThenBThenA) {
    // A differs from the key only in a*, B only in b*, by similar amounts.
    Pair p({1500, 0, 300}, {1500, 300, 0});  // Cr moves mostly a*, Cb mostly b*
    const int base = p.grade(near(1500, 0, 0, 1, 1, 1, 1, 1, true));
    // Weight 2 (b*) large: B's b* distance grows, so A weighs more.
    EXPECT_GT(p.grade(near(1500, 0, 0, 1, 1, 10, 1, 1, true)), base);
    // Weight 3 (a*) large: A's a* distance grows, so A weighs less.
    EXPECT_LT(p.grade(near(1500, 0, 0, 1, 1, 1, 10, 1, true)), base);
}

TEST(NearMergeKernel, NonFiniteInputsGiveDefinedValues) {
    Pair p({2148, 10, 10}, {2348, -10, -10});
    for (double bad : {kNaN, std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity()}) {
        for (bool lab : {false, true}) {
            for (const NearMerge& m : {near(2048, 0, 0, bad, 1, 1, 1, 1, lab),
                                       near(2048, 0, 0, 1, bad, bad, bad, 1, lab),
                                       near(2048, 0, 0, 2, 1, 1, 1, bad, lab)}) {
                const int g = p.grade(m);
                EXPECT_GE(g, 0);
                EXPECT_LE(g, 4096);
                const PIXEL_YC q = p.merged(m);
                EXPECT_GE(q.y, 2148);
                EXPECT_LE(q.y, 2348);
            }
        }
    }
}

using NearScript = MaskScript;

TEST_F(NearScript, ArgumentFormsAndBufferErrors) {
    const std::string head = "(2, 3, 4, 0, 0, 1, 1, 0, 0, 0, 0, 2048, 0, 0";
    for (const char* f : {"merge_near", "mkmask_near", "merge_near_lab", "mkmask_near_lab"}) {
        const std::string call = std::string(f) + head;
        EXPECT_EQ(run(call + ")"), "") << f;
        EXPECT_EQ(run(call + ", 1, 1, 1)"), "") << f;
        EXPECT_EQ(run(call + ", 1, 1, 1, 2)"), "") << f;
        EXPECT_EQ(run(call + ", 1, 1, 1, 2, 1)"), "") << f;
        EXPECT_TRUE(count_error(call + ", 1)")) << f;
        EXPECT_TRUE(count_error(call + ", 1, 1)")) << f;
        EXPECT_TRUE(count_error(call + ", 1, 1, 1, 1, 1, 1)")) << f;
    }
    EXPECT_EQ(run("merge_near(97, 98, 99, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0)"), "");
    EXPECT_NE(run("merge_near(2, 3, 99, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0)").find("[99]"),
              std::string::npos);
}

TEST_F(NearScript, NineteenArgumentsIgnoreTheMultiplierPosition) {
    frame(2).at(0, 0) = {2148, 0, 0};
    frame(3).at(0, 0) = {2348, 0, 0};
    // Position 18 holds 0 (which as a multiplier would make a 0/0 tie);
    // the exponent 1 at 19 gives t = 0.75.
    EXPECT_EQ(run("mkmask_near(2, 3, 4, 0, 0, 1, 1, 0, 0, 0, 0, 2048, 0, 0, 1, 1, 1, 0, 1)"), "");
    EXPECT_EQ(frame(4).at(0, 0).y, 3072);
    EXPECT_EQ(run("merge_near(2, 3, 5, 0, 0, 1, 1, 0, 0, 0, 0, 2048, 0, 0)"), "");
    EXPECT_EQ(frame(5).at(0, 0).y, 2148);
    // The 18-argument form with a positive multiplier equals the 17-argument form.
    EXPECT_EQ(run("mkmask_near(2, 3, 6, 0, 0, 1, 1, 0, 0, 0, 0, 2048, 0, 0, 1, 1, 1, 5)"), "");
    EXPECT_EQ(frame(6).at(0, 0).y, 4096);
}
