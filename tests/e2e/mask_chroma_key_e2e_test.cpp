// A chroma key through the host program: key the green bar of the test
// pattern, soften the mask's edges, and blend a second picture in through it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "harness.h"

namespace {

// The pattern's top half is eight colour bars of 8 pixels each at 64 x 48;
// bar 3 (x 24..31) is pure green, bar 2 cyan, bar 4 magenta.
const char* const kKeyScript = R"(
function video_filter(info)
  local w, h = info.w, info.h
  -- background: the grey ramp of the lower half, moved up into slot 3
  copy(0, 3, 0, h / 2, w, h / 2, 0, 0)
  copy(0, 3, 0, h / 2, w, h / 2, 0, h / 2)
  -- key green (hue 110..130 degrees, saturated and bright) into slot 2
  mkmask_hsv(0, 2, 0, 0, w, h, 0, 0, 1100, 3000, 3000, 1300, 4096, 4200, 4096, 0, 50)
  -- soften: each grade averaged with its left neighbour, into slot 4
  copy(2, 4)
  alpha(2, 4, 0, 0, w - 1, h, 1, 0, 0.5)
  -- the background shows through where the mask selects
  alpha(3, 0, 4, 0, 0, w, h, 0, 0, 0, 0)
end
)";

TEST(MaskRun, ChromaKeyReplacesTheGreenBarWithSoftEdges) {
    ScriptDir dir;
    RunResult r = run_script(dir, "", "pattern:64x48", 1, {"--output", dir.file("input.y4m")});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run_script(
        dir,
        "function video_filter(info) copy(0, 3, 0, info.h / 2, info.w, info.h / 2, 0, 0) end\n",
        "pattern:64x48", 1, {"--display", "3", "--output", dir.file("background.y4m")});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run_script(dir, kKeyScript, "pattern:64x48", 1, {"--output", dir.file("keyed.y4m")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(dir.exists("lua_err.txt")) << dir.read("lua_err.txt");

    const Y4mVideo input = read_y4m(dir.file("input.y4m"));
    const Y4mVideo back = read_y4m(dir.file("background.y4m"));
    const Y4mVideo keyed = read_y4m(dir.file("keyed.y4m"));
    ASSERT_EQ(keyed.frames.size(), 1u);
    ASSERT_EQ(keyed.w, 64);
    for (int y : {2, 10, 20}) {
        // Inside the green bar, away from its left edge: the background.
        for (int x = 25; x < 32; ++x) {
            EXPECT_EQ(keyed.y(0, x, y), back.y(0, x, y)) << x << "," << y;
            EXPECT_EQ(keyed.cb(0, x, y), back.cb(0, x, y)) << x << "," << y;
            EXPECT_EQ(keyed.cr(0, x, y), back.cr(0, x, y)) << x << "," << y;
        }
        // The cyan and magenta bars beside it stay, except the one softened
        // column right of the green bar.
        for (int x : {16, 20, 23, 33, 36}) {
            EXPECT_EQ(keyed.y(0, x, y), input.y(0, x, y)) << x << "," << y;
            EXPECT_EQ(keyed.cr(0, x, y), input.cr(0, x, y)) << x << "," << y;
        }
        // Both edges are half-way blends of the picture and the background.
        for (int x : {24, 32}) {
            const int mid = (input.y(0, x, y) + back.y(0, x, y)) / 2;
            EXPECT_LE(std::abs(keyed.y(0, x, y) - mid), 1) << x << "," << y;
            const int mid_cr = (input.cr(0, x, y) + back.cr(0, x, y)) / 2;
            EXPECT_LE(std::abs(keyed.cr(0, x, y) - mid_cr), 1) << x << "," << y;
        }
    }
    // The lower half (grey ramp) is not keyed.
    for (int x = 0; x < 64; x += 7) EXPECT_EQ(keyed.y(0, x, 44), input.y(0, x, 44)) << x;
}

TEST(MaskRun, MaskQueriesReturnToTheScript) {
    ScriptDir dir;
    const RunResult r = run_script(dir, R"(
function video_filter(info)
  mkmask(0, 2, 0, 0, info.w, info.h, 0, 0, 0, -10, -10, 4096, 10, 10)
  mkmask_rgb(0, 2, 0, 0, info.w, info.h, 0, 0, -100, 3900, -100, 100, 4200, 100)
  local x, y, w, h = mask_range(2, 0, 0, info.w, info.h, 4096)
  local cx, cy = mask_center(2, 0, 0, info.w, info.h, 1)
  local f = io.open(info.script_path .. 'out.txt', 'w')
  f:write(x, ' ', y, ' ', w, ' ', h, ' ', cx, ' ', cy, '\n')
  f:close()
end
)",
                                   "pattern:64x48", 1);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(dir.exists("lua_err.txt")) << dir.read("lua_err.txt");
    // The green bar: x 24..31, the top 24 rows; centre (27.5, 11.5).
    EXPECT_EQ(dir.read("out.txt"), "24 0 8 24 27.5 11.5\n");
}

}  // namespace
