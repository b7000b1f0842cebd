// The spatial filters and the OpenCV bridge through the host program: every
// function runs on the test pattern, cvcanny marks the colour bars'
// borders, ocvtest twice gives the frame back, and an aperture OpenCV
// rejects reaches the log with OpenCV's message while later frames run.
#include <gtest/gtest.h>

#include "harness.h"

TEST(FiltersRun, EveryFilterRunsAndCannyMarksTheBarBorders) {
    ScriptDir dir;
    const std::string script =
        "function video_filter(info)\n"
        "  local w, h = info.w, info.h\n"
        "  linear(0, 2, 0, 0, w, h, 0, 0, {{1, 2, 1}, {2, 4, 2}, {1, 2, 1}})\n"
        "  laplacian(2, 3, 0, 0, w, h, 0, 0)\n"
        "  gaussian(0, 4, 0, 0, w, h, 0, 0, 2.5)\n"
        "  defocus(4, 5, 0, 0, w, h, 0, 0, 5, 5)\n"
        "  diffuse(5, 6, 0, 0, w, h, 0, 0, 2, 2)\n"
        "  median(6, 7, 0, 0, w, h, 0, 0, 5, 5)\n"
        "  ocvtest(7, 7, 0, 0, w, h, 0, 0)\n"
        "  cvcanny(0, 0, 0, 0, w, h, 0, 0, 100, 300)\n"
        "end\n";
    run_script(dir, script, "pattern:160x90", 1, {"--output", dir.file("edges.y4m")});
    EXPECT_FALSE(dir.exists("lua_err.txt")) << dir.read("lua_err.txt");
    const Y4mVideo v = read_y4m(dir.file("edges.y4m"));
    ASSERT_EQ(v.frames.size(), 1u);
    // Bars of 20 pixels over the top half: an edge on one side of each
    // border, none inside a bar.
    EXPECT_GT(v.y(0, 19, 10), 200);
    EXPECT_GT(v.y(0, 39, 10), 200);
    EXPECT_LT(v.y(0, 10, 10), 20);
    EXPECT_LT(v.y(0, 30, 10), 20);
}

TEST(FiltersRun, OcvTestTwiceGivesTheFrameBack) {
    ScriptDir dir;
    run_script(dir, "function video_filter(info) end\n", "pattern:96x64", 1,
               {"--output", dir.file("plain.y4m")});
    run_script(dir,
               "function video_filter(info)\n"
               "  ocvtest(0, 0, 5, 3, 60, 40, 5, 3)\n"
               "  ocvtest(0, 0, 5, 3, 60, 40, 5, 3)\n"
               "end\n",
               "pattern:96x64", 1, {"--output", dir.file("twice.y4m")});
    EXPECT_FALSE(dir.exists("lua_err.txt")) << dir.read("lua_err.txt");
    EXPECT_EQ(dir.read("plain.y4m"), dir.read("twice.y4m"));
}

TEST(FiltersRun, ARejectedApertureIsLoggedAndLaterFramesStillRun) {
    ScriptDir dir;
    const std::string script =
        "function video_filter(info)\n"
        "  if info.frame == 0 then cvcanny(0, 0, 0, 0, 32, 32, 0, 0, 10, 20, 4) end\n"
        "  local f = io.open(info.script_path .. 'ran.txt', 'a')\n"
        "  f:write(info.frame, '\\n')\n"
        "  f:close()\n"
        "end\n";
    run_script(dir, script, "pattern:64x48", 2);
    EXPECT_NE(dir.read("lua_err.txt").find("Aperture size should be odd between 3 and 7"),
              std::string::npos)
        << dir.read("lua_err.txt");
    EXPECT_EQ(dir.read("ran.txt"), "1\n");
}
