// copy, alpha, alpha_yc, alpha_rgb: the blend rules, the key conditions and
// the argument forms through Lua.
#include <climits>

#include "color/convert.h"
#include "draw/alpha.h"
#include "draw/blend.h"
#include "mask_script_fixture.h"
#include "mask_test_util.h"

TEST(Blend12, WorkedValuesAndFlooring) {
    EXPECT_EQ(blend12(1000, 2000, 2048), 1500);
    EXPECT_EQ(blend12(1234, -77, 4096), 1234);  // opacity 1: the source exactly
    EXPECT_EQ(blend12(-1, 0, 2048), -1);        // rounds toward minus infinity
    EXPECT_EQ(opacity12(0.3), 1228);
    EXPECT_EQ(opacity12(-0.5), -2048);
}

TEST(Blend12, ExtremeOpacitiesAreDefined) {
    // 32767 * 2^31 does not fit 32 bits; the 64-bit blend keeps the low bits
    // of the true value and never overflows.
    EXPECT_EQ(opacity12(1e300), INT_MAX);
    EXPECT_EQ(opacity12(std::nan("")), 0);
    const long long v = blend12(32767, 0, INT_MAX);
    EXPECT_EQ(v, (32767LL * INT_MAX) >> 12);
    EXPECT_EQ(blend12_low16(32767, 0, INT_MAX), static_cast<std::int16_t>(v & 0xffff));
    EXPECT_EQ(blend12(0, 32767, INT_MIN), (32767LL * (4096LL - INT_MIN)) >> 12);
    EXPECT_EQ(clamp16(v), 32767);
}

TEST(AlphaKernels, ConstantOpacityRespectsTheSourceKey) {
    TestFrame src(2, 1), dst(2, 1);
    src.set(0, 0, 1000, -1, 100);
    src.set(1, 0, 50, 500, 500);
    dst.set(0, 0, 2000, 0, 300);
    dst.set(1, 0, 2000, 0, 300);
    alpha_constant(src.frame, dst.frame, {0, 0, 0, 0, 2, 1}, 2048, 100);
    EXPECT_EQ(dst.at(0, 0).y, 1500);
    EXPECT_EQ(dst.at(0, 0).cb, -1);
    EXPECT_EQ(dst.at(0, 0).cr, 200);
    EXPECT_EQ(dst.at(1, 0).y, 2000);  // S.y 50 is not above the key
}

TEST(AlphaKernels, MaskGradeIsTheOpacity) {
    TestFrame src(3, 1, {4000, 100, -100}), dst(3, 1, {0, 0, 0}), mask(5, 1);
    mask.set(2, 0, 0, 9, 9);
    mask.set(3, 0, 4096, 9, 9);
    mask.set(4, 0, 1024, 9, 9);
    alpha_masked(src.frame, dst.frame, mask.frame, {0, 0, 0, 0, 2, 0, 3, 1});
    EXPECT_EQ(dst.at(0, 0).y, 0);
    EXPECT_EQ(dst.at(1, 0).y, 4000);
    EXPECT_EQ(dst.at(1, 0).cr, -100);
    EXPECT_EQ(dst.at(2, 0).y, 1000);
    EXPECT_EQ(dst.at(2, 0).cr, -25);
}

TEST(AlphaKernels, YcSaturatesAndRgbBlendsInRgb) {
    TestFrame src(1, 1, {1000, 200, -300}), dst(1, 1, {3000, -400, 500});
    alpha_yc(src.frame, dst.frame, {0, 0, 0, 0, 1, 1}, 4096, 0, 0);  // luma only
    EXPECT_EQ(dst.at(0, 0).y, 1000);
    EXPECT_EQ(dst.at(0, 0).cb, -400);
    EXPECT_EQ(dst.at(0, 0).cr, 500);
    TestFrame hi(1, 1, {30000, 0, 0}), lo(1, 1, {20000, 0, 0});
    alpha_yc(hi.frame, lo.frame, {0, 0, 0, 0, 1, 1}, 8192, 0, 0);  // 40000 saturates
    EXPECT_EQ(lo.at(0, 0).y, 32767);

    TestFrame s(1, 1, {1224, -692, 2048}), d(1, 1, {2000, 0, 0});
    alpha_rgb(s.frame, d.frame, {0, 0, 0, 0, 1, 1}, 2048, 4096, 0);
    const Triple sr = yc_to_rgb(1224, -692, 2048);
    const int r = (trunc_to_int(sr.a) * 2048 + 2000 * 2048) >> 12;
    const int g = trunc_to_int(sr.b);
    const int b = 2000;
    const Triple back = rgb_to_yc(r, g, b);
    EXPECT_EQ(d.at(0, 0).y, trunc_to_int(back.a));
    EXPECT_EQ(d.at(0, 0).cb, trunc_to_int(back.b));
    EXPECT_EQ(d.at(0, 0).cr, trunc_to_int(back.c));
}

using CopyAlphaScript = MaskScript;

TEST_F(CopyAlphaScript, CopyShortFormTakesThePictureOnly) {
    fpip.w = 10, fpip.h = 5;
    paint(0, 111, 1, 2);
    paint(2, 7, 7, 7);
    EXPECT_EQ(run("copy(0, 2)"), "");
    EXPECT_EQ(frame(2).at(9, 4).y, 111);
    EXPECT_EQ(frame(2).at(9, 4).cr, 2);
    EXPECT_EQ(frame(2).at(10, 4).y, 7);
    EXPECT_EQ(frame(2).at(0, 5).y, 7);
}

TEST_F(CopyAlphaScript, CopyClipsBothPositionsTogether) {
    for (int x = 0; x < kWidth; ++x) frame(2).at(x, 0).y = static_cast<std::int16_t>(x);
    EXPECT_EQ(run("copy(2, 3, -5, 0, 10, 10, 0, 0)"), "");
    EXPECT_EQ(frame(3).at(4, 0).y, 0);  // untouched
    for (int x = 5; x < 10; ++x) EXPECT_EQ(frame(3).at(x, 0).y, x - 5);
    EXPECT_EQ(frame(3).at(10, 0).y, 0);
}

TEST_F(CopyAlphaScript, CopyWithKeyAndWithMask) {
    frame(2).at(0, 0) = {500, 1, 1};
    frame(2).at(1, 0) = {501, 2, 2};
    EXPECT_EQ(run("copy(2, 3, 0, 0, 2, 1, 0, 0, 500)"), "");
    EXPECT_EQ(frame(3).at(0, 0).y, 0);  // 500 is not above 500
    EXPECT_EQ(frame(3).at(1, 0).y, 501);
    // Mask read at its own position (x3, y3) = (10, 10).
    frame(4).at(10, 10).y = 4096;
    EXPECT_EQ(run("copy(2, 5, 4, 0, 0, 2, 1, 0, 0, 10, 10, 0)"), "");
    EXPECT_EQ(frame(5).at(0, 0).y, 500);
    EXPECT_EQ(frame(5).at(1, 0).y, 0);
}

TEST_F(CopyAlphaScript, ArgumentCountsAndBufferErrors) {
    for (const char* call : {"copy(2)", "copy(2, 3, 0)", "copy(2,3,0,0,1,1,0,0,0,0)",
                             "alpha(2,3,0,0,1,1,0,0)", "alpha(2,3,0,0,1,1,0,0,1,1,1,1)",
                             "alpha_yc(2,3,0,0,1,1,0,0,1,1)", "alpha_rgb(2,3,0,0,1,1,0,0,1,1,1,1)"})
        EXPECT_NE(run(call).find("wrong number of argument"), std::string::npos) << call;
    EXPECT_NE(run("copy(2, 99)").find("バッファが存在しません[99]"), std::string::npos);
    EXPECT_NE(run("alpha(2,3,98,0,0,1,1,0,0,0,0)").find("[98]"), std::string::npos);
    EXPECT_EQ(run("alpha(2, 99, 0, 0, 0, 5, 0, 0, 0.5)"), "");  // empty: nothing resolved
    EXPECT_EQ(run("alpha_rgb(97, 99, 0, 0, 5, 0, 0, 0, 1, 1, 1)"), "");
}

TEST_F(CopyAlphaScript, AlphaFormsThroughLua) {
    frame(2).at(0, 0) = {1000, -1, 0};
    frame(3).at(0, 0) = {2000, 0, 0};
    EXPECT_EQ(run("alpha(2, 3, 0, 0, 1, 1, 0, 0, 0.5)"), "");
    EXPECT_EQ(frame(3).at(0, 0).y, 1500);
    EXPECT_EQ(frame(3).at(0, 0).cb, -1);
    // Opacity 0.3 uses 1228: (1000 * 1228 + 2000 * 2868) >> 12 = 1700.
    frame(3).at(0, 0) = {2000, 0, 0};
    EXPECT_EQ(run("alpha(2, 3, 0, 0, 1, 1, 0, 0, 0.3)"), "");
    EXPECT_EQ(frame(3).at(0, 0).y, (1000 * 1228 + 2000 * 2868) >> 12);
    // The 9-argument form's key is -32768: a source y of -32768 is skipped.
    frame(2).at(1, 0) = {-32768, 0, 0};
    frame(3).at(1, 0) = {5, 0, 0};
    EXPECT_EQ(run("alpha(2, 3, 1, 0, 1, 1, 1, 0, 1.0)"), "");
    EXPECT_EQ(frame(3).at(1, 0).y, 5);
    // 13 arguments: opacity where the mask exceeds the key.
    frame(4).at(0, 0).y = 10;
    frame(3).at(0, 0) = {2000, 0, 0};
    EXPECT_EQ(run("alpha(2, 3, 4, 0, 0, 1, 1, 0, 0, 0, 0, 1.0, 10)"), "");
    EXPECT_EQ(frame(3).at(0, 0).y, 2000);
    EXPECT_EQ(run("alpha(2, 3, 4, 0, 0, 1, 1, 0, 0, 0, 0, 1.0, 9)"), "");
    EXPECT_EQ(frame(3).at(0, 0).y, 1000);
    // alpha_yc with all opacities 1 is a plain copy.
    frame(2).at(5, 5) = {-7, 300, -300};
    EXPECT_EQ(run("alpha_yc(2, 6, 5, 5, 1, 1, 0, 0, 1, 1, 1)"), "");
    EXPECT_EQ(frame(6).at(0, 0).y, -7);
    EXPECT_EQ(frame(6).at(0, 0).cb, 300);
    EXPECT_EQ(frame(6).at(0, 0).cr, -300);
}
