// Per-pixel script callbacks: apply_func, functoy, functoy_p.
#include <cmath>

#include "color_lua.h"

namespace {

using PixelCallbacks = ColorLua;

TEST_F(PixelCallbacks, ApplyFuncIdentityAndResultConversion) {
    for (int x = 0; x < 8; ++x) put(2, x, 0, 100 * x, -x, x);
    EXPECT_EQ(run("apply_func(2, 0, 0, 8, 1, function(x, y, Y, Cb, Cr) return Y, Cb, Cr end)"), "");
    for (int x = 0; x < 8; ++x) EXPECT_EQ(pixel(2, x, 0), (Yc{100 * x, -x, x}));
    EXPECT_EQ(run("apply_func(2, 0, 1, 1, 1, function() return 40000, -40000, 1.9 end)"), "");
    EXPECT_EQ(pixel(2, 0, 1), (Yc{32767, -32768, 1}));
    EXPECT_EQ(run("apply_func(2, 1, 1, 1, 1, function() return 'abc', '12', -2.9 end)"), "");
    EXPECT_EQ(pixel(2, 1, 1), (Yc{0, 12, -2}));  // a numeric string still converts
    EXPECT_EQ(run("apply_func(2, 2, 1, 1, 1, function() return 0/0, -32768.5, nil end)"), "");
    EXPECT_EQ(pixel(2, 2, 1), (Yc{-32768, -32768, 0}));               // NaN is not above -32768
    EXPECT_EQ(run("apply_func(2, 3, 1, 1, 1, function() end)"), "");  // missing results read 0
    EXPECT_EQ(pixel(2, 3, 1), (Yc{0, 0, 0}));
}

TEST_F(PixelCallbacks, ApplyFuncVisitsRasterOrderRelativeToTheClippedRegion) {
    fill(3, 0, 0, 0);
    EXPECT_EQ(run("order = {} apply_func(3, -5, 46, 8, 5, function(x, y, Y, Cb, Cr) "
                  "order[#order + 1] = x .. ',' .. y return x, y, #order end)"),
              "");
    // Columns 0..2 and rows 46..47 are left after clipping.
    EXPECT_EQ(number("#order"), 6);
    EXPECT_EQ(run("assert(table.concat(order, ' ') == '0,0 1,0 2,0 0,1 1,1 2,1')"), "");
    EXPECT_EQ(pixel(3, 2, 47), (Yc{2, 1, 6}));
    EXPECT_EQ(pixel(3, 3, 47), (Yc{0, 0, 0}));
    // Each pixel is written before the next call: a callback sees its
    // predecessor's new value.
    fill(4, 7, 0, 0);
    EXPECT_EQ(run("apply_func(4, 0, 0, 4, 1, function(x, y, Y) "
                  "if x == 0 then return 1, 0, 0 end local p = get_yc(4, x - 1, 0) "
                  "return p + 1, 0, 0 end)"),
              "");
    EXPECT_EQ(pixel(4, 3, 0)[0], 4);
}

TEST_F(PixelCallbacks, ErrorInsideTheCallbackKeepsWrittenPixelsAndTheStack) {
    fill(5, 9, 9, 9);
    const int top = lua_gettop(L);
    EXPECT_EQ(run("local ok, err = pcall(apply_func, 5, 0, 0, 4, 1, function(x) "
                  "if x == 2 then error('stop here') end return x, 0, 0 end) "
                  "assert(not ok and err:find('stop here'), err) "
                  "local a, b, c = 1, 2, 3 assert(a + b + c == 6)"),
              "");
    EXPECT_EQ(lua_gettop(L), top);
    EXPECT_EQ(pixel(5, 0, 0), (Yc{0, 0, 0}));
    EXPECT_EQ(pixel(5, 1, 0), (Yc{1, 0, 0}));
    EXPECT_EQ(pixel(5, 2, 0), (Yc{9, 9, 9}));
    // Many failing calls in a row do not grow the stack.
    EXPECT_EQ(run("for k = 1, 5000 do pcall(functoy, 5, 0, 0, 2, 2, function() error('x') end, 0, "
                  "0) end"),
              "");
    EXPECT_EQ(lua_gettop(L), top);
    const std::string unprotected =
        run("functoy(5, 0, 0, 1, 1, function() error('deep') end, 0, 0)");
    EXPECT_NE(unprotected.find("deep"), std::string::npos);
}

TEST_F(PixelCallbacks, ReleasingTheTargetInsideTheCallbackStops) {
    const double n = number("createbuf()");
    const std::string err = run("apply_func(" + std::to_string(static_cast<int>(n)) +
                                ", 0, 0, 4, 4, function() releasebuf(" +
                                std::to_string(static_cast<int>(n)) + ") return 1, 2, 3 end)");
    EXPECT_NE(err.find("バッファが存在しません[10000]"), std::string::npos) << err;
    // Exchanging the host frames moves buffer 0 elsewhere: stop there too,
    // before the first result is stored; other buffers are not affected.
    edit[0] = {5, 5, 5};
    const std::string swapped =
        run("apply_func(0, 0, 0, 2, 1, function() swapbuf() return 1, 2, 3 end)");
    EXPECT_NE(swapped.find("バッファが存在しません[0]"), std::string::npos) << swapped;
    EXPECT_EQ(edit[0].y, 5);
    EXPECT_EQ(run("apply_func(2, 0, 0, 2, 1, function() swapbuf() return 1, 2, 3 end)"), "");
    EXPECT_EQ(pixel(2, 1, 0), (Yc{1, 2, 3}));
}

TEST_F(PixelCallbacks, FunctoyGradesAndCoordinates) {
    fill(6, 5, 5, 5);
    EXPECT_EQ(run("functoy(6, 0, 0, 64, 48, function(X, Y) return X * X + Y * Y end, 0, 0, 4)"),
              "");
    for (int i : {0, 3, 47})
        for (int j : {0, 5, 63}) {
            const int expected = std::min(4096, (j * j + i * i) / 4);
            EXPECT_EQ(pixel(6, j, i), (Yc{expected, 0, 0})) << j << "," << i;
        }
    // Coordinates are relative to the clipped region: x = -5 puts column 0
    // at the picture's left edge, where X = -cx.
    EXPECT_EQ(run("first = nil functoy(6, -5, 0, 10, 1, function(X, Y) first = first or X return 0 "
                  "end, 3, 0)"),
              "");
    EXPECT_EQ(number("first"), -3);
    // Below zero gives 0, above 4096 * scale gives 4096; NaN and non-numbers 0.
    EXPECT_EQ(run("functoy(6, 0, 0, 4, 1, function(X) return ({-5, 9000, 0/0, 'x'})[X + 1] end, 0, "
                  "0, 2)"),
              "");
    EXPECT_EQ(pixel(6, 0, 0)[0], 0);
    EXPECT_EQ(pixel(6, 1, 0)[0], 4096);
    EXPECT_EQ(pixel(6, 2, 0)[0], 0);
    EXPECT_EQ(pixel(6, 3, 0)[0], 0);
    // An origin at the int limits still gives exact coordinates.
    EXPECT_EQ(run("functoy(6, 0, 0, 2, 1, function(X) last = X return 0 end, -2147483648, 0)"), "");
    EXPECT_EQ(number("last"), 2147483649.0);
}

TEST_F(PixelCallbacks, FunctoyPolarAngles) {
    EXPECT_EQ(run("seen = {} functoy_p(7, 0, 0, 3, 3, function(r, a) seen[#seen + 1] = {r, a} "
                  "return r * 1000 end, 1, 1)"),
              "");
    EXPECT_DOUBLE_EQ(number("seen[6][2]"), 0);          // right of the origin
    EXPECT_DOUBLE_EQ(number("seen[8][2]"), M_PI / 2);   // below it
    EXPECT_DOUBLE_EQ(number("seen[2][2]"), -M_PI / 2);  // above it
    EXPECT_DOUBLE_EQ(number("seen[9][1]"), std::sqrt(2.0));
    EXPECT_EQ(pixel(7, 2, 2), (Yc{1414, 0, 0}));
    EXPECT_EQ(pixel(7, 1, 1), (Yc{0, 0, 0}));
}

TEST_F(PixelCallbacks, ArgumentChecks) {
    EXPECT_NE(
        run("apply_func(2, 0, 0, 1, 1)").find("#5 to 'apply_func' (wrong number of argument)"),
        std::string::npos);
    EXPECT_NE(run("functoy(2, 0, 0, 1, 1, print, 0)").find("wrong number of argument"),
              std::string::npos);
    EXPECT_NE(run("functoy_p(2, 0, 0, 1, 1, print, 0, 0, 1, 1)").find("#10 to 'functoy_p'"),
              std::string::npos);
    EXPECT_NE(run("apply_func(2, 0, 0, 1, 1, 5)").find("function expected"), std::string::npos);
    EXPECT_NE(run("functoy(77, 0, 0, 1, 1, print, 0, 0)").find("バッファが存在しません[77]"),
              std::string::npos);
    EXPECT_NE(run("functoy(2, 0, 0, 1, 1, print, 'a', 0)").find("number expected"),
              std::string::npos);
    // An empty region calls nothing and resolves no buffer.
    EXPECT_EQ(run("calls = 0 functoy(77, 0, 0, 0, 5, function() calls = calls + 1 end, 0, 0)"), "");
    EXPECT_EQ(run("apply_func(2, 64, 0, 5, 5, function() calls = calls + 1 end)"), "");
    EXPECT_EQ(number("calls"), 0);
}

}  // namespace
