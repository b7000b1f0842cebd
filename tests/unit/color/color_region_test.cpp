// Region colour functions: gain and offset per component in YCbCr, RGB, HSV
// (double, integer, unit), XYZ and L*a*b*.
#include <vector>

#include "color/convert.h"
#include "color/region_color.h"
#include "color_lua.h"

namespace {

struct Pixels {
    std::vector<PIXEL_YC> px;
    explicit Pixels(std::initializer_list<Yc> values) {
        for (const Yc& v : values)
            px.push_back(
                {static_cast<short>(v[0]), static_cast<short>(v[1]), static_cast<short>(v[2])});
    }
    Frame frame() { return {px.data(), static_cast<int>(px.size()), 1}; }
    Region all() const { return {0, 0, static_cast<int>(px.size()), 1}; }
    Yc at(int i) const { return {px[i].y, px[i].cb, px[i].cr}; }
};

using Kernel = void (*)(const Frame&, const Region&, const ColorAdjust&);

Yc apply(Kernel kernel, Yc pixel, ColorAdjust adjust) {
    Pixels p{pixel};
    kernel(p.frame(), p.all(), adjust);
    return p.at(0);
}

constexpr ColorAdjust kIdentity{{1, 1, 1}, {0, 0, 0}};

double hue_of(Yc p) {
    const Triple rgb = yc_to_rgb(p[0], p[1], p[2]);
    return rgb_to_hsv(rgb.a, rgb.b, rgb.c).a;
}

TEST(RegionColor, YcFixedPointFloorsAndSaturates) {
    EXPECT_EQ(apply(color_yc, {1234, -567, 89}, kIdentity), (Yc{1234, -567, 89}));
    EXPECT_EQ(apply(color_yc, {-3, 0, 0}, {{0.5, 1, 1}, {0, 0, 0}})[0], -2);  // floor(-1.5)
    EXPECT_EQ(apply(color_yc, {4000, 0, 0}, {{10, 1, 1}, {0, 0, 0}})[0], 32767);
    EXPECT_EQ(apply(color_yc, {100, 0, 0}, {{1, 1, 1}, {0.5, -0.25, 0}}), (Yc{100, -1, 0}));
    EXPECT_EQ(apply(color_yc, {0, 0, 0}, {{1, 1, 1}, {1000, -1e9, 1e12}}),
              (Yc{1000, -32768, 32767}));
}

TEST(RegionColor, FixedPointGainsBeyondThirtyTwoBits) {
    // 30000 * trunc(18 * 4096) exceeds 2^31; the offset takes it back into
    // range, and the result is that of gain 1 with no offset.
    const ColorAdjust big{{18, 18, 18}, {-510000, 0, 0}};
    EXPECT_EQ(apply(color_yc, {30000, 0, 0}, big)[0], 30000);
    const ColorAdjust big_rgb{{18, 18, 18}, {-510000, -510000, -510000}};
    EXPECT_EQ(apply(color_rgb, {30000, 0, 0}, big_rgb), apply(color_rgb, {30000, 0, 0}, kIdentity));
    EXPECT_EQ(apply(color_yc, {4000, -4000, 1}, {{1e6, 1e6, 1e9}, {0, 0, 0}}),
              (Yc{32767, -32768, 32767}));
    // Hue times 3601 is the hue plus whole turns.
    for (const Yc p : {Yc{1224, -692, 2048}, Yc{2000, 300, 900}, Yc{1500, -800, -100}})
        EXPECT_EQ(apply(color_hsv_int, p, {{3601, 1, 1}, {0, 0, 0}}),
                  apply(color_hsv_int, p, kIdentity));
    // Huge S and V gains clamp like any value above 4096.
    EXPECT_EQ(apply(color_hsv_int, {2000, 300, 900}, {{1, 1e6, 1e6}, {0, 0, 0}}),
              apply(color_hsv_int, {2000, 300, 900}, {{1, 1, 1}, {0, 4096, 4096}}));
}

TEST(RegionColor, RgbTruncatesTwiceAndWraps) {
    EXPECT_EQ(apply(color_rgb, {2048, 0, 0}, kIdentity), (Yc{2047, 0, 0}));
    EXPECT_EQ(apply(color_rgb, {1000, 100, -50}, kIdentity), (Yc{999, 100, -50}));
    // Ten times 4000 is 40000, past the 16-bit range: the low bits are kept.
    EXPECT_EQ(apply(color_rgb, {4000, 0, 0}, {{10, 10, 10}, {0, 0, 0}})[0], 40000 - 65536);
    EXPECT_EQ(apply(color_rgb, {0, 0, 0}, {{1, 1, 1}, {100, 100, 100}})[0], 100);
}

TEST(RegionColor, HsvDouble) {
    EXPECT_EQ(apply(color_hsv, {3000, -500, 700}, kIdentity), (Yc{2998, -499, 701}));
    const Yc red{1224, -692, 2048};
    const Yc turned = apply(color_hsv, red, {{1, 1, 1}, {1800, 0, 0}});
    EXPECT_NEAR(hue_of(turned), 1800, 2);
    EXPECT_EQ(apply(color_hsv, {2000, 300, 900}, {{1, 1, 1}, {3600, 0, 0}}),
              apply(color_hsv, {2000, 300, 900}, kIdentity));
    // No saturation: grey at V, and V above 4096 is not clamped.
    EXPECT_EQ(apply(color_hsv, {1500, 0, 300}, {{1, 0, 1}, {0, 0, 0}}), (Yc{1920, 0, 0}));
    EXPECT_EQ(apply(color_hsv, {1500, 0, 300}, {{1, 0, 3}, {0, 0, 0}}), (Yc{5761, 0, 0}));
}

TEST(RegionColor, HsvIntegerAndUnit) {
    const Yc p{2000, 300, 900};
    const Yc same = apply(color_hsv_int, p, kIdentity);
    EXPECT_NEAR(same[0], p[0], 4);
    EXPECT_NEAR(same[1], p[1], 4);
    EXPECT_NEAR(same[2], p[2], 4);
    EXPECT_NEAR(hue_of(apply(color_hsv_int, {1224, -692, 2048}, {{1, 1, 1}, {1200, 0, 0}})), 1200,
                2);

    const Yc red{1224, -692, 2048};
    EXPECT_NEAR(hue_of(apply(color_hsv_unit, red, {{1, 1, 1}, {1800, 0, 0}})), 1800, 2);
    EXPECT_NEAR(hue_of(apply(color_hsv_unit, red, {{1, 1, 1}, {-1200, 0, 0}})), 2400, 2);
    // V' above 1 is not limited: white at twice the value.
    const Yc bright = apply(color_hsv_unit, {3000, 0, 0}, {{1, 1, 2}, {0, 0, 0}});
    EXPECT_GT(bright[0], 4096);
    EXPECT_EQ(bright[0], 6000);  // 3000 * 256/4096 / 255 * 2 * 255 * 16
    // A huge hue gain ends quickly and lands on the circle.
    const Yc spun = apply(color_hsv_unit, red, {{1e6, 1, 1}, {0, 0, 0}});
    EXPECT_NEAR(spun[0] + 0.0, 1224, 1200);
}

// Unit HSV has no clamp: a colour whose largest channel is exactly 0 and whose
// smallest is negative divides by zero (S is infinite) and the values back
// are NaN.  Such results are stored as 0 rather than converted undefined.
TEST(RegionColor, UnitHsvWithAZeroMaximumStoresZero) {
    const Yc p{-2658, 1500, -2048};  // B = 0, R and G negative
    EXPECT_EQ(apply(color_hsv_unit, p, kIdentity), (Yc{0, 0, 0}));
}

TEST(RegionColor, XyzAndLab) {
    const Yc p{2000, 100, -100};
    for (Kernel k : {color_xyz, color_lab}) {
        const Yc same = apply(k, p, kIdentity);
        EXPECT_NEAR(same[0], p[0], 1);
        EXPECT_NEAR(same[1], p[1], 1);
        EXPECT_NEAR(same[2], p[2], 1);
    }
    EXPECT_EQ(apply(color_xyz, p, {{0, 0, 0}, {0, 0, 0}}), (Yc{0, 0, 0}));
    const Yc white = apply(color_xyz, p, {{0, 0, 0}, {0.95045 * 4096, 4096, 1.08892 * 4096}});
    EXPECT_NEAR(white[0], 4096, 1);
    EXPECT_NEAR(white[1], 0, 1);
    EXPECT_EQ(apply(color_xyz, {4096, 0, 0}, {{100, 100, 100}, {0, 0, 0}})[0], 32767);
    // No chroma in L*a*b*: grey of the same lightness.
    const Yc grey = apply(color_lab, {2000, 600, -400}, {{1, 0, 0}, {0, 0, 0}});
    EXPECT_NEAR(grey[1], 0, 1);
    EXPECT_NEAR(grey[2], 0, 1);
    EXPECT_EQ(apply(color_lab, {4096, 0, 0}, {{20, 1, 1}, {0, 0, 0}})[0], 32767);  // L* 2000
}

using RegionColorFunctions = ColorLua;

TEST_F(RegionColorFunctions, RegionsArgumentsAndErrors) {
    fill(2, 1000, 0, 0);
    EXPECT_EQ(run("color(2, -10, 0, 20, 1, 2, 1, 1, 0, 0, 0)"), "");
    EXPECT_EQ(pixel(2, 9, 0)[0], 2000);
    EXPECT_EQ(pixel(2, 10, 0)[0], 1000);
    EXPECT_EQ(run("color(2, 64, 0, 20, 1, 2, 1, 1, 0, 0, 0)"), "");
    EXPECT_EQ(run("color(2, 0, 1, 0, 5, 2, 1, 1, 0, 0, 0)"), "");
    EXPECT_EQ(pixel(2, 0, 1)[0], 1000);
    EXPECT_EQ(run("color(2, 0, 47, 1, 10, 1.00024414, 1, 1, 0.75, 0, 0)"),
              "");                        // gain truncates to 4097
    EXPECT_EQ(pixel(2, 0, 47)[0], 1000);  // (1000 * 4097 + 3072) >> 12
    const char* names[] = {"color_rgb",   "color_hsv", "color_hsv_i",
                           "color_hsv_m", "color_xyz", "color_lab"};
    for (const char* name : names) {
        const std::string f = name;
        EXPECT_EQ(run(f + "(2, 0, 2, 4, 1, 1, 1, 1, 0, 0, 0)"), "") << f;
        EXPECT_NEAR(pixel(2, 3, 2)[0], 1000, 2) << f;
        EXPECT_NE(
            run(f + "(2, 0, 2, 4, 1, 1, 1, 1, 0, 0)").find("#10 to '" + f + "' (wrong number"),
            std::string::npos);
        EXPECT_NE(run(f + "(30, 0, 2, 4, 1, 1, 1, 1, 0, 0, 0)").find("バッファが存在しません[30]"),
                  std::string::npos);
        EXPECT_EQ(run(f + "(30, 0, 2, -4, 1, 1, 1, 1, 0, 0, 0)"), "");
        EXPECT_NE(run(f + "(30, 0, 2, 4, 1, 1, 1, 1, 0, 0, {})").find("number expected"),
                  std::string::npos);
    }
}

}  // namespace
