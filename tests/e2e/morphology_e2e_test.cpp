// Morphology and labelling through the host program: a mask with two holes
// is built from the blank input (y = 0) with label2mask, then labelled,
// hole-filled and eroded, and the results are read from the output video
// and from numbers the script writes.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

// Buffer 2: 4096 everywhere but a 20 x 12 hole at (10, 10) and a 4 x 4 hole
// at (40, 30).
const char* kMaskPrologue =
    "local function make_mask()\n"
    "  label2mask(0, 2, 0, 0, 64, 48, 0, 0, 0)\n"
    "  label2mask(2, 2, 10, 10, 20, 12, 10, 10, 99)\n"
    "  label2mask(2, 2, 40, 30, 4, 4, 40, 30, 99)\n"
    "end\n"
    "local function say(info, ...)\n"
    "  local f = io.open(info.script_path .. 'out.txt', 'a')\n"
    "  f:write(table.concat({...}, ' '), '\\n')\n"
    "  f:close()\n"
    "end\n";

}  // namespace

TEST(MorphologyRun, LabelRemoveHoleAndErodeOnAMaskWithHoles) {
    ScriptDir dir;
    const std::string script =
        std::string(kMaskPrologue) +
        "function video_filter(info)\n"
        "  make_mask()\n"
        "  local bg = label4(2, 3, 0, 0, 64, 48, 0, 0)\n"
        "  say(info, #bg, bg[1].area)\n"
        "  label2mask(2, 4, 0, 0, 64, 48, 0, 0, 0)\n"
        "  local holes = label8(4, 5, 0, 0, 64, 48, 100, 0)\n"
        "  say(info, #holes, holes[1].area, holes[1].x, holes[2].area, holes[2].x)\n"
        "  remove_hole(2, 6, 0, 0, 64, 48, 0, 0)\n"
        "  local left = label8(6, 7, 0, 0, 64, 48, 0, 0, 0, 2147483647)\n"
        "  erode(2, 8, 0, 0, 64, 48, 0, 0, 1)\n"
        "  label2mask(8, 9, 0, 0, 64, 48, 0, 0, 0)\n"
        "  local grown = label4(9, 10, 0, 0, 64, 48, 0, 0)\n"
        "  say(info, #left, grown[1].area, grown[2].area)\n"
        "end\n";
    run_script(dir, script, "blank:64x48", 1,
               {"--display", "6", "--output", dir.file("filled.y4m")});
    EXPECT_FALSE(dir.exists("lua_err.txt")) << dir.read("lua_err.txt");
    // One foreground component of 3072 - 240 - 16 pixels; two holes, the
    // larger first, x in destination coordinates (dx = 100); after
    // remove_hole the big hole (the largest background) stays, the small
    // one is filled; erosion by the cross grows each hole by its rim
    // without corners: 22 x 14 - 4 and 6 x 6 - 4.
    EXPECT_EQ(dir.read("out.txt"),
              "1 2816\n"
              "2 240 110 16 140\n"
              "1 304 32\n");
    const Y4mVideo filled = read_y4m(dir.file("filled.y4m"));
    ASSERT_EQ(filled.frames.size(), 1u);
    EXPECT_GT(filled.y(0, 41, 31), filled.y(0, 15, 15));  // small hole filled, big one kept
}

TEST(MorphologyRun, ErrorsReachTheLogAndLaterFramesStillRun) {
    ScriptDir dir;
    run_script(dir,
               std::string(kMaskPrologue) +
                   "function video_filter(info)\n"
                   "  say(info, 'frame')\n"
                   "  erode(0, 2, 0, 0, 64, 48, 0, 0, info.frame == 0 and 1e9 or -1)\n"
                   "end\n",
               "blank:64x48", 2);
    const std::string log = dir.read("lua_err.txt");
    EXPECT_NE(log.find("too large"), std::string::npos) << log;
    EXPECT_NE(log.find("empty structuring element"), std::string::npos) << log;
    EXPECT_EQ(dir.read("out.txt"), "frame\nframe\n");
}
