// Colour-space conversions and the single-colour and single-pixel script
// functions.
#include <cmath>

#include "color/convert.h"
#include "color_lua.h"

namespace {

TEST(ColorConvert, HsvDoubleRoundTripAndHueSectors) {
    // Primaries and secondaries land on the sector boundaries.
    const Triple red = rgb_to_hsv(4096, 0, 0), green = rgb_to_hsv(0, 4096, 0),
                 blue = rgb_to_hsv(0, 0, 4096), yellow = rgb_to_hsv(4096, 4096, 0);
    EXPECT_DOUBLE_EQ(red.a, 0);
    EXPECT_DOUBLE_EQ(green.a, 1200);
    EXPECT_DOUBLE_EQ(blue.a, 2400);
    EXPECT_DOUBLE_EQ(yellow.a, 600);  // tie of R and G: R's branch
    EXPECT_DOUBLE_EQ(red.b, 4096);
    // Inputs are clamped before the conversion.
    const Triple over = rgb_to_hsv(9000, -5, 2048);
    EXPECT_DOUBLE_EQ(over.c, 4096);
    EXPECT_DOUBLE_EQ(over.b, 4096);
    for (double r : {0.0, 700.0, 2048.0, 4096.0})
        for (double g : {0.0, 1500.0, 4000.0})
            for (double b : {100.0, 3000.0}) {
                const Triple hsv = rgb_to_hsv(r, g, b);
                const Triple rgb = hsv_to_rgb(hsv.a, hsv.b, hsv.c);
                // k is truncated to sixths of a degree, so allow that much.
                EXPECT_NEAR(rgb.a, r, 12) << r << "," << g << "," << b;
                EXPECT_NEAR(rgb.b, g, 12);
                EXPECT_NEAR(rgb.c, b, 12);
            }
}

TEST(ColorConvert, HsvToRgbWrapsHueAndPassesGreyThrough) {
    const Triple a = hsv_to_rgb(-600, 4096, 4096), b = hsv_to_rgb(3000, 4096, 4096);
    EXPECT_EQ(a.a, b.a);
    EXPECT_EQ(a.b, b.b);
    EXPECT_EQ(a.c, b.c);
    const Triple grey = hsv_to_rgb(1234, 0, 7000);  // S = 0 keeps V unclamped
    EXPECT_EQ(grey.a, 7000);
    EXPECT_EQ(grey.c, 7000);
    const Triple clamped = hsv_to_rgb(0, 4096, 7000);
    EXPECT_EQ(clamped.a, 4096);
    // Non-finite hues end instead of looping for ever.
    const Triple inf = hsv_to_rgb(INFINITY, 4096, 4096);
    EXPECT_EQ(inf.a, 4096);
    // Just below a full turn the sixths-of-a-degree product rounds to 2160;
    // that is red again, not a seventh sector.
    const Triple almost = hsv_to_rgb(std::nextafter(3600.0, 0.0), 4096, 4096);
    EXPECT_EQ(almost.a, 4096);
    EXPECT_EQ(almost.b, 0);
    EXPECT_EQ(almost.c, 0);
    const Triple huge = hsv_to_rgb(3600.0 * 1e12 + 1200, 4096, 4096);
    EXPECT_EQ(huge.b, 4096);
}

TEST(ColorConvert, IntegerHsv) {
    const IntTriple hsv = rgb_to_hsv_int(4096, 2048, 0);
    EXPECT_EQ(hsv.a, 300);
    EXPECT_EQ(hsv.b, 4096);
    EXPECT_EQ(hsv.c, 4096);
    const IntTriple grey = rgb_to_hsv_int(-50, -50, -50);
    EXPECT_EQ(grey.a, 0);
    EXPECT_EQ(grey.c, 0);
    // H = -1 is 3599 and 3600 is 0.
    const IntTriple m1 = hsv_to_rgb_int(-1, 4096, 4096), h3599 = hsv_to_rgb_int(3599, 4096, 4096);
    EXPECT_EQ(m1.a, h3599.a);
    EXPECT_EQ(m1.b, h3599.b);
    EXPECT_EQ(m1.c, h3599.c);
    const IntTriple h3600 = hsv_to_rgb_int(3600, 4096, 4096), h0 = hsv_to_rgb_int(0, 4096, 4096);
    EXPECT_EQ(h3600.a, h0.a);
    EXPECT_EQ(h3600.b, h0.b);
    EXPECT_EQ(h0.a, 4096);
    EXPECT_EQ(h0.b, 0);
    // The integer wrap of the most negative hue has no overflow.
    const IntTriple low = hsv_to_rgb_int(-2147483647 - 1, 4096, 4096);
    EXPECT_GE(low.a, 0);
    // Sector 2 (120..180 degrees) gives (p, v, t).
    const IntTriple cyanish = hsv_to_rgb_int(1500, 4096, 4096);
    EXPECT_EQ(cyanish.a, 0);
    EXPECT_EQ(cyanish.b, 4096);
    EXPECT_EQ(cyanish.c, 2048);
}

TEST(ColorConvert, UnitHsv) {
    const Triple hsv = rgb_to_hsv_unit(255, 127.5, 0);
    EXPECT_DOUBLE_EQ(hsv.a, 30);
    EXPECT_DOUBLE_EQ(hsv.b, 1);
    EXPECT_DOUBLE_EQ(hsv.c, 1);
    const Triple rgb = hsv_unit_to_rgb(30, 1, 1);
    EXPECT_DOUBLE_EQ(rgb.a, 255);
    EXPECT_DOUBLE_EQ(rgb.b, 127.5);
    EXPECT_DOUBLE_EQ(rgb.c, 0);
    // Values past 1 are not corrected; 360 degrees uses the last sector's row.
    EXPECT_DOUBLE_EQ(hsv_unit_to_rgb(0, 0, 2).a, 510);
    EXPECT_DOUBLE_EQ(hsv_unit_to_rgb(360, 1, 1).a, 255);
}

TEST(ColorConvert, XyzAndLab) {
    const Triple white = yc_to_lab(4096, 0, 0);
    EXPECT_NEAR(white.a, 100, 1e-3);
    EXPECT_NEAR(white.b, 0, 0.05);
    EXPECT_NEAR(white.c, 0, 0.05);
    const Triple black = yc_to_lab(0, 0, 0);
    EXPECT_DOUBLE_EQ(black.a, 0);  // linear branch: 116 * 16/116 - 16
    for (double l : {5.0, 50.0, 95.0}) {
        const Triple xyz = lab_to_xyz(l, 20, -30);
        const Triple back = xyz_to_lab(xyz.a, xyz.b, xyz.c);
        EXPECT_NEAR(back.a, l, 1e-6);
        EXPECT_NEAR(back.b, 20, 1e-6);
        EXPECT_NEAR(back.c, -30, 1e-6);
    }
    const Triple xyz = rgb_to_xyz(1000, 2000, 3000);
    const Triple rgb = xyz_to_rgb(xyz.a, xyz.b, xyz.c);
    EXPECT_NEAR(rgb.a, 1000, 0.2);  // the matrices carry six digits
    EXPECT_NEAR(rgb.b, 2000, 0.2);
    EXPECT_NEAR(rgb.c, 3000, 0.2);
}

TEST(ColorConvert, HsvPlanesAndSegmentDistance) {
    const Triple p = hsv_to_hsv_p(900, 2000, 3000, 1, 1);  // 90 degrees
    EXPECT_NEAR(p.a, 0, 1e-9);
    EXPECT_NEAR(p.b, 2000, 1e-9);
    EXPECT_EQ(p.c, 3000);
    const Triple c = hsv_to_hsv_c(0, 4096, 2048, 1, 2);
    EXPECT_DOUBLE_EQ(c.a, 2048);
    EXPECT_DOUBLE_EQ(c.c, 4096);
    const Triple a{0, 0, 0}, b{10, 0, 0};
    EXPECT_DOUBLE_EQ(segment_distance(a, b, {5, 3, 4}), 5);
    EXPECT_DOUBLE_EQ(segment_distance(a, b, {-3, 4, 0}), 5);  // before A: clamped
    EXPECT_DOUBLE_EQ(segment_distance(a, b, {13, 0, 4}), 5);  // past B
    EXPECT_DOUBLE_EQ(segment_distance(a, a, {3, 4, 0}), 5);   // A = B
}

using ConversionFunctions = ColorLua;

TEST_F(ConversionFunctions, RgbToYcTruncates) {
    EXPECT_EQ(three("rgb2yc(4096, 4096, 4096)"), (D3{4095, 0, 0}));
    EXPECT_EQ(three("rgb2yc(4096, 0, 0)"), (D3{1224, -692, 2048}));
    EXPECT_EQ(three("yc2rgb(0, 0, -1)"), (D3{-1, 0, 0}));
    EXPECT_EQ(three("yc2rgb(100, 100, 0, 'extra')"), (D3{100, 65, 277}));
    EXPECT_EQ(three("yc2rgb(0.5, 0, 1)"), (D3{1, 0, 0}));  // 1.902: fractions kept
    EXPECT_NE(run("yc2rgb(1, 2)").find("number expected"), std::string::npos);
}

TEST_F(ConversionFunctions, HsvToYc) {
    EXPECT_EQ(three("hsv2yc(0, 4096, 4096)"), (D3{1224, -692, 2048}));
    EXPECT_EQ(three("hsv2yc(1234, 0, 2048)"), (D3{2047, 0, 0}));
    EXPECT_EQ(three("hsv2yc(0, 0, 5000)"), (D3{5000, 0, 0}));
    EXPECT_EQ(three("hsv2yc(3600, 4096, 4096)"), three("hsv2yc(0, 4096, 4096)"));
    EXPECT_EQ(three("hsv2yc(-600, 4096, 4096)"), three("hsv2yc(3000, 4096, 4096)"));
    EXPECT_EQ(three("hsv2yc(0.9, 0.9, 5000)"), (D3{5000, 0, 0}));  // truncated first
}

TEST_F(ConversionFunctions, YcToHsv) {
    EXPECT_EQ(three("yc2hsv(4096, 0, 0)"), (D3{0, 0, 4096}));
    const D3 bright = three("yc2hsv(4000, 0, 1000)");  // R = 5402
    EXPECT_EQ(bright[2], 4096);
    EXPECT_EQ(three("yc2hsv(1224, -692, 2048)")[0], 0);
    const D3 blue = three("yc2hsv(466, 2048, -334)");
    EXPECT_GE(blue[0], 2300);
    EXPECT_LT(blue[0], 2500);
}

TEST_F(ConversionFunctions, GetAndSetPixel) {
    fpip.w = 40;  // the picture is narrower than the storage
    put(3, kWidth - 1, 5, 11, -22, 33);
    EXPECT_EQ(three("get_yc(3, 63, 5)"), (D3{11, -22, 33}));
    EXPECT_EQ(three("get_yc(3, 63.9, 5.2)"), (D3{11, -22, 33}));
    EXPECT_EQ(three("get_yc(3, 64, 5)"), (D3{99999, 99999, 99999}));
    EXPECT_EQ(three("get_yc(3, -1, 5)"), (D3{99999, 99999, 99999}));
    EXPECT_EQ(three("get_yc(3, 0, 48)"), (D3{99999, 99999, 99999}));

    EXPECT_EQ(run("set_yc(4, 2, 3, 40000, -40000, 7.9)"), "");
    EXPECT_EQ(pixel(4, 2, 3), (Yc{-25536, 25536, 7}));
    EXPECT_EQ(run("set_yc(4, 64, 3, 1, 1, 1) set_yc(4, 0, -1, 1, 1, 1)"), "");

    EXPECT_NE(run("get_yc(3, 1)").find("bad argument #2 to 'get_yc' (wrong number of argument)"),
              std::string::npos);
    EXPECT_NE(run("set_yc(4, 2, 3, 1, 1, 1, 1)").find("#7 to 'set_yc' (wrong number"),
              std::string::npos);
    EXPECT_NE(run("get_yc(25, 0, 0)").find("バッファが存在しません[25]"), std::string::npos);
    // Numbers are read before the buffer is resolved.
    EXPECT_NE(run("set_yc(25, 0, 0, 'x', 0, 0)").find("number expected"), std::string::npos);
}

}  // namespace
