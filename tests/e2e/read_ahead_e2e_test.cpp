// Decoding ahead on its own thread changes nothing a user sees: the same
// bytes out, the same messages, the same exit status as a run that reads
// each frame when the script is ready for it (--no-read-ahead).
#include <gtest/gtest.h>

#include <cctype>

#include "harness.h"
#include "test_video.h"

namespace {

// FFmpeg's own log lines name its objects by their addresses.
std::string without_addresses(const std::string& text) {
    std::string kept;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text.compare(i, 2, "0x") != 0) {
            kept += text[i++];
            continue;
        }
        kept += "0x";
        i += 2;
        while (i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i]))) ++i;
    }
    return kept;
}

// Runs `args` with and without read-ahead; both runs must agree.
void expect_same_run(const std::vector<std::string>& args, int status,
                     const std::string& input = "") {
    std::vector<std::string> without = args;
    without.push_back("--no-read-ahead");
    const RunResult ahead = run_quorvel(args, input);
    const RunResult plain = run_quorvel(without, input);
    std::string what;
    for (const std::string& a : args) what += a + " ";
    EXPECT_EQ(plain.status, status) << what << plain.err;
    EXPECT_EQ(ahead.status, plain.status) << what << ahead.err;
    EXPECT_EQ(without_addresses(ahead.err), without_addresses(plain.err)) << what;
    EXPECT_TRUE(ahead.out == plain.out) << what << ": the frames differ";
    EXPECT_GT(plain.out.size(), 0u) << what;
}

TEST(ReadAhead, CopyframeBackAndFarAndSeeksGiveTheSameFrames) {
    ScriptDir dir;
    ClipRecipe clip;
    clip.frames = 40, clip.gop = 6;
    ASSERT_EQ(make_video(dir.file("clip.mp4"), clip), "");
    // Even frames show the frame three back, odd ones a frame anywhere in
    // the clip, so the copyframe requests cross the frames read ahead.
    dir.write("filter.lua",
              "function video_filter(info)\n"
              "  if info.frame % 2 == 0 then copyframe(1, math.max(0, info.frame - 3))\n"
              "  else copyframe(1, (info.frame * 7) % 40) end\n"
              "  copy(1, 0)\n"
              "end\n");
    const std::vector<std::string> run = {
        "run", "-i", dir.file("clip.mp4"), "--script-dir", dir.path(), "-o", "-"};
    expect_same_run(run, 0);
    // A start in the middle seeks before the first frame; a cut ends early.
    std::vector<std::string> cut = run;
    cut.insert(cut.end(), {"--start", "17", "--frames", "9"});
    expect_same_run(cut, 0);
    // The cfr grid and its repeats over the same reader.
    std::vector<std::string> grid = run;
    grid.insert(grid.end(), {"--timeline", "cfr", "--start", "3"});
    expect_same_run(grid, 0);
}

TEST(ReadAhead, DamageIsSaidAtTheSameFrameWithTheSameStatus) {
    ScriptDir dir;
    ClipRecipe mjpeg;
    mjpeg.encoder = "mjpeg", mjpeg.pix_fmt = "yuvj420p", mjpeg.frames = 20;
    ASSERT_EQ(make_video(dir.file("whole.avi"), mjpeg), "");
    ClipRecipe ffv1;
    ffv1.encoder = "ffv1", ffv1.frames = 20;
    ASSERT_EQ(make_video(dir.file("whole.mkv"), ffv1), "");
    const std::string avi = dir.read("whole.avi"), mkv = dir.read("whole.mkv");
    dir.write("broken.avi", damage_avi_chunk(avi, 9));             // a picture refused inside
    dir.write("cut95.avi", avi.substr(0, avi.size() * 95 / 100));  // ends inside a picture
    dir.write("cut.mkv", mkv.substr(0, mkv.size() * 2 / 3));       // read error half-way
    for (const char* name : {"broken.avi", "cut95.avi", "cut.mkv"})
        expect_same_run({"run", "-i", dir.file(name), "-o", "-"}, 1);
    // A copyframe that reaches the damaged frame from before it.
    dir.write("filter.lua",
              "function video_filter(info) copyframe(1, math.min(info.frame + 2, 19)) copy(1, 0) "
              "end\n");
    for (const char* name : {"broken.avi", "cut95.avi"})
        expect_same_run({"run", "-i", dir.file(name), "--script-dir", dir.path(), "-o", "-"}, 1);
    // Runs that stop before the damage do not meet it, however far the
    // reader went.
    expect_same_run({"run", "-i", dir.file("cut95.avi"), "--frames", "10", "-o", "-"}, 0);
    expect_same_run({"run", "-i", dir.file("broken.avi"), "--frames", "9", "-o", "-"}, 0);
}

TEST(ReadAhead, AStreamOnStandardInputStopsWhereTheRunDoes) {
    ScriptDir dir;
    ClipRecipe clip;
    clip.frames = 15;
    ASSERT_EQ(make_video(dir.file("clip.mp4"), clip), "");
    const RunResult y4m = run_quorvel({"run", "-i", dir.file("clip.mp4"), "-o", "-"});
    ASSERT_EQ(y4m.status, 0) << y4m.err;
    expect_same_run({"run", "-i", "-", "-o", "-"}, 0, y4m.out);
    expect_same_run({"run", "-i", "-", "--start", "4", "--frames", "3", "-o", "-"}, 0, y4m.out);
    // A stream cut inside a frame: the frames before it, then the error.
    expect_same_run({"run", "-i", "-", "-o", "-"}, 1, y4m.out.substr(0, y4m.out.size() * 3 / 4));
}

// The reader hands its own buffer over instead of copying the frame: beyond
// the picture, the script still finds black in buffer 0 every frame, even
// after drawing there on the frames before.
TEST(ReadAhead, BeyondThePictureIsBlackEveryFrame) {
    ScriptDir dir;
    ClipRecipe clip;
    clip.frames = 12;
    ASSERT_EQ(make_video(dir.file("clip.mp4"), clip), "");
    dir.write("filter.lua",
              "function video_filter(info)\n"
              "  local f = io.open(info.script_path .. 'margins.txt', 'a')\n"
              "  f:write(table.concat({get_yc(0, 70, 10)}, ' '), ' ',\n"
              "          table.concat({get_yc(0, 5, 55)}, ' '), '\\n')\n"
              "  f:close()\n"
              "  set_yc(0, 70, 10, 4096, 100, 100) set_yc(0, 5, 55, 4096, 100, 100)\n"
              "end\n");
    expect_same_run({"run", "-i", dir.file("clip.mp4"), "--max", "80x60", "--script-dir",
                     dir.path(), "-o", "-"},
                    0);
    std::string expected;
    for (int k = 0; k < 2 * clip.frames; ++k) expected += "0 0 0 0 0 0\n";
    EXPECT_EQ(dir.read("margins.txt"), expected);
}

}  // namespace
