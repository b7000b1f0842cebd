// Colour and tone functions run by real scripts through the host program,
// and the colour information printed for --click.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

// A script line that appends the value of a Lua expression to out.txt.
std::string record(const std::string& expr) {
    return "do local f = io.open(info.script_path .. 'out.txt', 'a') f:write(" + expr +
           ", '\\n') f:close() end\n";
}

// Lua helper that formats get_yc(b, x, y) as "y cb cr".
const char* const kPixelText =
    "local function px(b, x, y) return table.concat({get_yc(b, x, y)}, ' ') end\n";

TEST(ColorRun, ConversionsAndPixelAccess) {
    ScriptDir dir;
    run_script(dir,
               std::string(kPixelText) +
                   "function video_filter(info)\n"
                   "  set_yc(5, 3, 4, 40000, -7, 2048)\n" +
                   record("table.concat({rgb2yc(4096, 4096, 4096)}, ' ')") +
                   record("table.concat({hsv2yc(-600, 4096, 4096)}, ' ') .. ' / ' .. "
                          "table.concat({hsv2yc(3000, 4096, 4096)}, ' ')") +
                   record("table.concat({yc2hsv(4096, 0, 0)}, ' ')") + record("px(5, 3, 4)") +
                   record("tostring(get_yc(5, info.max_w, 0))") + "end\n",
               "blank:32x24", 1);
    EXPECT_EQ(dir.read("out.txt"),
              "4095 0 0\n"
              "1691 1355 1716 / 1691 1355 1716\n"
              "0 0 4096\n"
              "-25536 -7 2048\n"
              "nil\n");
    EXPECT_FALSE(dir.exists("lua_err.txt"));
}

TEST(ColorRun, RegionColourFunctions) {
    ScriptDir dir;
    run_script(dir,
               std::string(kPixelText) +
                   "function video_filter(info)\n"
                   "  color(2, 0, 0, info.w, info.h, 0, 0, 0, 2048, 1024, -1024.25)\n" +
                   record("px(2, 31, 23)") +
                   "  set_yc(3, 0, 0, 3000, -500, 700) set_yc(3, 1, 0, 1000, 100, -50)\n"
                   "  color_hsv(3, 0, 0, 1, 1, 1, 1, 1, 0, 0, 0)\n"
                   "  color_rgb(3, 1, 0, 1, 1, 1, 1, 1, 0, 0, 0)\n" +
                   record("px(3, 0, 0) .. ' / ' .. px(3, 1, 0)") +
                   "  set_yc(4, 0, 0, -3, 0, 0) set_yc(4, 1, 0, 4000, 0, 0)\n"
                   "  color(4, 0, 0, 1, 1, 0.5, 1, 1, 0, 0, 0)\n"
                   "  color(4, 1, 0, 1, 1, 10, 1, 1, 0, 0, 0)\n" +
                   record("px(4, 0, 0) .. ' / ' .. px(4, 1, 0)") +
                   "  color_hsv_i(6, 0, 0, 4, 4, 1, 1, 1, 0, 0, 0)\n"
                   "  color_hsv_m(6, 0, 0, 4, 4, 1, 1, 1, 0, 0, 0)\n"
                   "  color_xyz(6, 0, 0, 4, 4, 1, 1, 1, 0, 0, 0)\n"
                   "  color_lab(6, 0, 0, 4, 4, 1, 1, 1, 0, 0, 0)\n"
                   "  color(99, 0, 0, 0, 4, 1, 1, 1, 0, 0, 0)\n"
                   "end\n",
               "blank:32x24", 1);
    EXPECT_EQ(dir.read("out.txt"),
              "2048 1024 -1025\n"
              "2998 -499 701 / 999 100 -50\n"
              "-2 0 0 / 32767 0 0\n");
    EXPECT_FALSE(dir.exists("lua_err.txt")) << dir.read("lua_err.txt");
}

TEST(ColorRun, ToneFunctions) {
    ScriptDir dir;
    run_script(
        dir,
        std::string(kPixelText) +
            "function video_filter(info)\n"
            "  set_yc(2, 0, 0, 0, 0, 0) set_yc(2, 1, 0, 2048, 0, 0) set_yc(2, 2, 0, 4096, 0, 0)\n"
            "  sigmoid(2, 0, 0, 3, 1, 10, 1, 1, 0.5, 0, 0)\n" +
            record("px(2, 0, 0) .. ' / ' .. px(2, 1, 0) .. ' / ' .. px(2, 2, 0)") +
            "  set_yc(3, 0, 0, 4096, 2048, 2048) normalize(3, 0, 0, 1, 1)\n"
            "  set_yc(3, 1, 0, 1024, 0, 0) gamma(3, 1, 0, 1, 1, 2, 1, 1)\n"
            "  set_yc(3, 2, 0, 683, -1, 0) posterize(3, 2, 0, 1, 1, 4, 2, 2)\n"
            "  set_yc(3, 3, 0, 2047, 9, 9) binarize(3, 3, 0, 1, 1, 2048)\n" +
            record("px(3, 0, 0) .. ' / ' .. px(3, 1, 0) .. ' / ' .. px(3, 2, 0) .. ' / ' .. px(3, "
                   "3, 0)") +
            "  posterize_rgb(4, 0, 0, 8, 8, 2, 2, 2) posterize_hsv(4, 0, 0, 8, 8, 7, 2, 2)\n"
            "  gamma(4, 0, 0, 1, 1, 0, 0, 0)\n"
            "  local ok, err = pcall(gamma, 4, 0, 0, 1, 1, 2)\n" +
            record("err") + "end\n",
        "blank:32x24", 1);
    const std::string out = dir.read("out.txt");
    EXPECT_EQ(out.substr(0, out.find("\n", out.find("\n") + 1) + 1),
              "27 0 0 / 2048 0 0 / 4068 0 0\n"
              "2823 717 907 / 2048 0 0 / 1365 -2048 2048 / 0 0 0\n");
    EXPECT_NE(out.find("bad argument #6 to '?' (wrong number of argument)"), std::string::npos)
        << out;
}

TEST(ColorRun, CallbacksAndTheirErrors) {
    ScriptDir dir;
    const RunResult r = run_script(
        dir,
        std::string(kPixelText) +
            "function video_filter(info)\n"
            "  apply_func(2, 0, 0, 3, 2, function(x, y, Y, Cb, Cr) return x * 10 + y, 40000, -1.5 "
            "end)\n" +
            record("px(2, 2, 1)") +
            "  functoy(3, 0, 0, 4, 4, function(X, Y) return X * X + Y * Y end, 1, 1, 0.001)\n" +
            record("px(3, 0, 0) .. ' / ' .. px(3, 1, 1)") +
            "  functoy_p(3, 0, 0, 3, 1, function(r, a) return r * 100 + a end, 0, 0)\n" +
            record("px(3, 2, 0)") +
            "  apply_func(0, 0, 0, 4, 1, function(x) if x == 2 then error('callback failed') end "
            "return 111, 0, 0 end)\n"
            "end\n",
        "blank:32x24", 1, {"--click", "1,0", "--click", "2,0"});
    EXPECT_EQ(dir.read("out.txt"),
              "21 32767 -1\n"
              "2000 0 0 / 0 0 0\n"
              "200 0 0\n");
    EXPECT_NE(dir.read("lua_err.txt").find("callback failed"), std::string::npos);
    // The pixels written before the error stay in the output; the rest not.
    const std::size_t first = r.out.find("座標： x=1, y=0\nY,Cb,Cr =    111,     0,     0\n");
    EXPECT_NE(first, std::string::npos) << r.out;
    const std::size_t second = r.out.find("座標： x=2, y=0\nY,Cb,Cr = ");
    ASSERT_NE(second, std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("   111,", second), std::string::npos);
}

TEST(ColorRun, ClickPrintsTheColourOfTheOutputPixel) {
    ScriptDir dir;
    const RunResult r = run_script(dir,
                                   "function video_filter(info) set_yc(0, 10, 10, 2048, 0, 0) "
                                   "set_yc(0, 11, 10, 1000, 100, 0) end\n",
                                   "pattern:320x240", 1,
                                   {"--click", "10,10", "--click", "11,10", "--click", "320,0"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string first =
        "座標： x=10, y=10\n"
        "Y,Cb,Cr =   2048,     0,     0\n"
        "R,G,B =   2048,  2048,  2048\n"
        "H,S,V =      0,     0,  2048\n"
        "HSV_P = 0.00,0.00,2048.00\n"
        "HSV_C = 0.00,0.00,2048.00\n"
        "X,Y,Z = 1946.53, 2048.00, 2229.77\n";
    EXPECT_EQ(r.out.substr(0, first.size()), first);  // the box's text alone
    const std::size_t second = r.out.find("座標： x=11, y=10\n");
    ASSERT_NE(second, std::string::npos) << r.out;
    EXPECT_NE(r.out.find("R,G,B =   1000,   965,  1177\n", second), std::string::npos);
    // The click one past the last column prints nothing: two boxes in all.
    EXPECT_EQ(r.out.find("座標", second + 1), std::string::npos);
}

TEST(ColorRun, ClickOnThePlainPattern) {
    ScriptDir dir;
    const RunResult r = run_quorvel({"run", "--input", "pattern:320x240", "--frames", "1",
                                     "--click", "10,10", "--script-dir", dir.path()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("座標： x=10, y=10\nY,Cb,Cr = "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nL,a*,b* = "), std::string::npos);
}

}  // namespace
