// Shapes and geometry through the host program: a filled background with an
// ellipse, mirrored, halved, pixelated and turned, read back with get_yc
// and from the output video.
#include <gtest/gtest.h>

#include "harness.h"

TEST(GeometryRun, ShapesThenTransforms) {
    ScriptDir dir;
    const std::string script =
        "local function say(info, ...)\n"
        "  local f = io.open(info.script_path .. 'out.txt', 'a')\n"
        "  f:write(table.concat({...}, ' '), '\\n')\n"
        "  f:close()\n"
        "end\n"
        "function video_filter(info)\n"
        "  fill(2, 0, 0, 64, 48, 1000, 0, 0)\n"
        "  ellipse(2, 20, 24, 10, 6, 3000, 0, 0)\n"
        "  fliph(2, 3)\n"
        "  resize(2, 4, 0, 0, 64, 48, 0, 0, 32, 24)\n"
        "  mosaic(2, 5, 1, 24, 10, 1, 1, 24, 2, 1)\n"
        "  rotate(2, 6, math.pi, 32, 24, 0, 0, 64, 48, 0, 0)\n"
        "  fill_line_r(6, 0, 0, 64, 48, 0, 0, 0, 48, 0, 0, 0)\n"
        "  say(info, get_yc(2, 10, 24), get_yc(2, 9, 24), get_yc(3, 53, 24), get_yc(3, 54, 24))\n"
        "  say(info, get_yc(4, 5, 12), get_yc(4, 4, 12), get_yc(5, 9, 24), get_yc(5, 10, 24))\n"
        "end\n";
    run_script(dir, script, "blank:64x48", 1, {"--display", "6", "--output", dir.file("out.y4m")});
    EXPECT_FALSE(dir.exists("lua_err.txt")) << dir.read("lua_err.txt");
    // get_yc gives three values; all but the last call keep only the first.
    EXPECT_EQ(dir.read("out.txt"),
              "3000 1000 3000 1000 0 0\n"
              "3000 1000 2000 2000 0 0\n");
    const Y4mVideo out = read_y4m(dir.file("out.y4m"));
    ASSERT_EQ(out.frames.size(), 1u);
    // Turned half a turn about (32, 24), the ellipse's centre column 20
    // lies at 44 and the background column 4 at 60; column 0 was blackened
    // by fill_line_r.
    EXPECT_GT(out.y(0, 44, 24), out.y(0, 60, 24));
    EXPECT_LT(out.y(0, 0, 10), out.y(0, 60, 24));
}
