// Buffer functions through the host program: swapbuf, createbuf, copyframe,
// dispsize and set_frame_n against the frames quorvel writes.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

std::string record(const std::string& expr) {
    return "do local f = io.open(info.script_path .. 'out.txt', 'a') f:write(" + expr +
           ", '\\n') f:close() end\n";
}

TEST(BufferRun, SwapbufShowsWhatWasWrittenToBufferOne) {
    ScriptDir dir;
    run_script(dir, "function video_filter(info) copyframe(1, 2) swapbuf() end\n", "pattern:32x24",
               3, {"--output", dir.file("swapped.y4m")});
    run_script(dir, "", "pattern:32x24", 3, {"--output", dir.file("input.y4m")});
    const Y4mVideo swapped = read_y4m(dir.file("swapped.y4m"));
    const Y4mVideo input = read_y4m(dir.file("input.y4m"));
    ASSERT_EQ(swapped.frames.size(), 3u);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(swapped.frames[k], input.frames[2]) << "frame " << k;
    // Twice restores the first assignment.
    run_script(dir, "function video_filter(info) copyframe(1, 2) swapbuf() swapbuf() end\n",
               "pattern:32x24", 3, {"--output", dir.file("twice.y4m")});
    EXPECT_EQ(read_y4m(dir.file("twice.y4m")).frames[0], input.frames[0]);
}

TEST(BufferRun, CreatebufNumbersAndReleases) {
    ScriptDir dir;
    run_script(dir,
               "function video_filter(info)\n"
               "  local a, b = createbuf(), createbuf()\n"
               "  releasebuf(b)\n"
               "  local c = createbuf()\n"
               "  releasebuf(a) releasebuf(c)\n" +
                   record("table.concat({a, b, c, createbuf()}, ' ')") + "end\n",
               "blank:16x16", 1);
    EXPECT_EQ(dir.read("out.txt"), "10000 10001 10001 10000\n");
}

TEST(BufferRun, UnknownBufferNumbersAreReported) {
    ScriptDir dir;
    run_script(dir, "function video_filter() copyframe(25, 0) end\n", "blank:16x16", 1);
    EXPECT_NE(dir.read("lua_err.txt").find("バッファが存在しません[25]"), std::string::npos);
    run_script(dir, "function video_filter() copyframe(-1, 0) end\n", "blank:16x16", 1);
    EXPECT_NE(dir.read("lua_err.txt").find("バッファが存在しません[-1]"), std::string::npos);
    // An empty area resolves no buffer and so reports nothing.
    run_script(dir, "function video_filter() copyframe(-1, 0, 0, 0, 0, 5, 0, 0) end\n",
               "blank:16x16", 1);
    EXPECT_FALSE(dir.exists("lua_err.txt"));
}

TEST(BufferRun, CopyframeMovesAreasAndIgnoresFramesOutsideTheVideo) {
    ScriptDir dir;
    run_script(dir, "", "pattern:32x24", 1, {"--output", dir.file("input.y4m")});
    // Frame 0 shifted right by 4 into slot 3 (its left edge starts outside
    // and is clipped), shown through the display track.
    run_script(
        dir,
        "function video_filter(info) copyframe(3, 0, -4, 0, 32, 24, 0, 0) copyframe(3, 99) end\n",
        "pattern:32x24", 1, {"--display", "3", "--output", dir.file("moved.y4m")});
    const Y4mVideo input = read_y4m(dir.file("input.y4m"));
    const Y4mVideo moved = read_y4m(dir.file("moved.y4m"));
    ASSERT_EQ(moved.frames.size(), 1u);
    for (int y = 0; y < 24; y += 5)
        for (int x = 0; x < 28; ++x)
            ASSERT_EQ(moved.y(0, x + 4, y), input.y(0, x, y)) << x << "," << y;
    EXPECT_EQ(moved.y(0, 0, 0), 16);  // never written: slot 3 started black
}

TEST(BufferRun, DispsizeChangesTheShownSizeWithinBounds) {
    ScriptDir dir;
    run_script(dir, "function video_filter() dispsize(40, 30) end\n", "blank:64x48", 1,
               {"--output", dir.file("small.y4m")});
    const Y4mVideo small = read_y4m(dir.file("small.y4m"));
    EXPECT_EQ(small.w, 40);
    EXPECT_EQ(small.h, 30);
    run_script(dir, "function video_filter() dispsize(15, 30) dispsize(65, 30) end\n",
               "blank:64x48", 1, {"--output", dir.file("same.y4m")});
    EXPECT_EQ(read_y4m(dir.file("same.y4m")).w, 64);
    // Up to the host's maximum size, beyond the input picture.
    run_script(dir, "function video_filter(info) dispsize(info.max_w, info.max_h) end\n",
               "blank:64x48", 1, {"--max", "80x60", "--output", dir.file("max.y4m")});
    EXPECT_EQ(read_y4m(dir.file("max.y4m")).w, 80);
}

TEST(BufferRun, SetFrameNChangesHowManyFramesRun) {
    ScriptDir dir;
    const RunResult r =
        run_script(dir,
                   "function video_filter(info)\n  if info.frame == 0 then set_frame_n(4) end\n" +
                       record("info.frame .. '/' .. info.frame_n") + "end\n",
                   "blank:16x16", 30, {"--output", dir.file("o.y4m")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("out.txt"), "0/30\n1/4\n2/4\n3/4\n");
    EXPECT_EQ(read_y4m(dir.file("o.y4m")).frames.size(), 4u);
}

// Each frame is written while the next one runs: from the edit buffer where
// it lies when the next frame goes to the other one, copied when the script
// made buffer 1 its output (the next frame runs with buffer 1).  Either way
// the file holds each frame as the script left it, and buffer 1 carries over
// as it always did.
TEST(BufferRun, FramesWrittenWhileTheNextRunsAreTheirOwn) {
    ScriptDir dir;
    // Frames 3k pass through, 3k+1 show their input through buffer 1, 3k+2
    // show buffer 1, which still holds frame 3k+1, and then change buffer 1.
    // The frames are large enough for the writer to be at work when the next
    // frame is read and run.
    run_script(dir,
               "function video_filter(info)\n"
               "  local k = info.frame % 3\n"
               "  if k == 1 then copy(0, 1) swapbuf()\n"
               "  elseif k == 2 then copy(1, 0) copyframe(1, 0) end\n"
               "end\n",
               "pattern:1280x720", 30, {"--output", dir.file("out.y4m")});
    run_script(dir, "", "pattern:1280x720", 30, {"--output", dir.file("input.y4m")});
    const Y4mVideo out = read_y4m(dir.file("out.y4m"));
    const Y4mVideo input = read_y4m(dir.file("input.y4m"));
    ASSERT_EQ(out.frames.size(), 30u);
    ASSERT_EQ(input.frames.size(), 30u);
    for (int n = 0; n < 30; ++n)
        EXPECT_TRUE(out.frames[n] == input.frames[n % 3 == 2 ? n - 1 : n]) << "frame " << n;
}

}  // namespace
