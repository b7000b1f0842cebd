// quorvel run --warmup: the frames before --start run through the script
// (which sees info.warmup) and are not written; a cut says which of the
// input's frames it holds.
#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include "harness.h"
#include "media/chunk_tags.h"
#include "test_video.h"

namespace {

// Each frame the script sees, with its info.warmup, one line each.
const char* const kRecorder =
    "function video_filter(info, vars)\n"
    "  local f = io.open(info.script_path .. 'seen.txt', 'a')\n"
    "  f:write(info.frame, ' ', tostring(info.warmup), '\\n')\n"
    "  f:close()\n"
    "  if info.frame == tonumber(os.getenv('QUORVEL_TEST_FAIL') or -1) then error('broken') end\n"
    "end\n";

TEST(Warmup, RunsTheFramesBeforeTheStartUnwrittenAndSaysSo) {
    ScriptDir dir;
    dir.write("filter.lua", kRecorder);
    RunResult r =
        run_quorvel({"run", "--input", "pattern:64x48", "--start", "5", "--end", "7", "--warmup",
                     "3", "--script-dir", dir.path(), "--output", dir.file("out.y4m")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("seen.txt"), "2 true\n3 true\n4 true\n5 nil\n6 nil\n7 nil\n");
    EXPECT_EQ(read_y4m(dir.file("out.y4m")).frames.size(), 3u);

    // No more warm-up than there are frames before the start.
    dir.write("seen.txt", "");
    r = run_quorvel({"run", "--input", "pattern:64x48", "--start", "1", "--end", "1", "--warmup",
                     "10", "--script-dir", dir.path()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("seen.txt"), "0 true\n1 nil\n");

    // The same with the plug-in in a worker process (the sandbox's way).
    dir.write("seen.txt", "");
    r = run_quorvel({"run", "--input", "pattern:64x48", "--start", "2", "--end", "3", "--warmup",
                     "2", "--sandbox", "--script-dir", dir.path()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("seen.txt"), "0 true\n1 true\n2 nil\n3 nil\n");

    // --info says which frames warm the script up, and runs none.
    dir.write("seen.txt", "");
    r = run_quorvel({"run", "--input", "pattern:64x48", "--start", "4", "--warmup", "9", "--info",
                     "--script-dir", dir.path()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("warm-up  frames 0 to 3 run through the script first"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(dir.read("seen.txt"), "");

    EXPECT_EQ(run_quorvel({"run", "--warmup", "-2"}).status, 2);
}

// A script error in the warm-up fails the run as one in its frames does
// (the chunk's job fails and the join with it), unless told to keep going;
// the run's frames are written either way.
TEST(Warmup, AnErrorWhileWarmingUpFailsTheRunUnlessToldToKeepGoing) {
    ScriptDir dir;
    dir.write("filter.lua", kRecorder);
    setenv("QUORVEL_TEST_FAIL", "3", 1);
    const std::vector<std::string> args = {
        "run",      "--input",  "pattern:64x48",    "--start", "5",
        "--end",    "6",        "--warmup",         "3",       "--script-dir",
        dir.path(), "--output", dir.file("out.y4m")};
    RunResult r = run_quorvel(args);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("broken"), std::string::npos) << r.err;
    EXPECT_EQ(read_y4m(dir.file("out.y4m")).frames.size(), 2u);
    std::vector<std::string> keep_going = args;
    keep_going.push_back("--keep-going");
    keep_going.push_back("-y");
    r = run_quorvel(keep_going);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("broken"), std::string::npos) << r.err;
    unsetenv("QUORVEL_TEST_FAIL");
}

TEST(Warmup, TheOutputNamesTheFramesItHolds) {
    ScriptDir dir;
    dir.write("filter.lua", "function video_filter(info, vars) end\n");
    const RunResult r =
        run_quorvel({"run", "--input", "pattern:64x48", "--start", "4", "--end", "9", "--warmup",
                     "2", "--script-dir", dir.path(), "--output", dir.file("chunk.mkv")});
    ASSERT_EQ(r.status, 0) << r.err;
    AVFormatContext* in = nullptr;
    ASSERT_EQ(avformat_open_input(&in, dir.file("chunk.mkv").c_str(), nullptr, nullptr), 0);
    ChunkTags tags;
    EXPECT_TRUE(read_chunk_tags(in->metadata, &tags));
    EXPECT_EQ(tags.source, "pattern:64x48");
    EXPECT_EQ(tags.first, 4);
    EXPECT_EQ(tags.last, 9);
    // The end of frame 9 of the pattern's 30 a second.
    EXPECT_EQ(av_rescale(tags.end_pts, 30LL * tags.tb_num, tags.tb_den), 10);
    avformat_close_input(&in);

    // A run of the whole input names no input.
    ClipRecipe recipe;
    recipe.audio = true;
    ASSERT_EQ(make_video(dir.file("clip.mp4"), recipe), "");
    ASSERT_EQ(run_quorvel({"run", "--input", dir.file("clip.mp4"), "--script-dir", dir.path(),
                           "--output", dir.file("whole.mkv")})
                  .status,
              0);
    ASSERT_EQ(avformat_open_input(&in, dir.file("whole.mkv").c_str(), nullptr, nullptr), 0);
    EXPECT_FALSE(read_chunk_tags(in->metadata, &tags));
    avformat_close_input(&in);
}

// A chunk of a file starts at 0, picture and sound, like any cut; its tags
// say where in the input that 0 lies (frame 4's time) and where its last
// frame ends (frame 10's), so that join lays the chunks end to end.
TEST(Warmup, AChunkStartsAtZeroAndItsTagsNameItsSpanOfTheInput) {
    ScriptDir dir;
    dir.write("filter.lua", "function video_filter(info, vars) end\n");
    ClipRecipe recipe;
    recipe.frames = 16;
    recipe.audio = true;
    ASSERT_EQ(make_video(dir.file("clip.mp4"), recipe), "");
    const RunResult r =
        run_quorvel({"run", "--input", dir.file("clip.mp4"), "--start", "4", "--end", "9",
                     "--warmup", "2", "--script-dir", dir.path(), "--output", dir.file("c.mkv")});
    ASSERT_EQ(r.status, 0) << r.err;
    const DecodedVideo chunk = read_video(dir.file("c.mkv"));
    ASSERT_EQ(chunk.error, "");
    ASSERT_EQ(chunk.frame_times.size(), 6u);
    EXPECT_NEAR(chunk.frame_times[0], 0, 1e-6);
    EXPECT_NEAR(chunk.frame_times[5], frame_time(recipe, 9) - frame_time(recipe, 4), 1e-3);
    ASSERT_TRUE(chunk.has_audio);
    EXPECT_NEAR(chunk.audio_start, 0, 0.03);  // within one AAC packet

    AVFormatContext* in = nullptr;
    ASSERT_EQ(avformat_open_input(&in, dir.file("c.mkv").c_str(), nullptr, nullptr), 0);
    ChunkTags tags;
    ASSERT_TRUE(read_chunk_tags(in->metadata, &tags));
    avformat_close_input(&in);
    EXPECT_EQ(tags.source, dir.file("clip.mp4"));
    EXPECT_EQ(tags.first, 4);
    EXPECT_EQ(tags.last, 9);
    const double unit = static_cast<double>(tags.tb_num) / tags.tb_den;
    EXPECT_NEAR(tags.start_pts * unit, frame_time(recipe, 4), 1e-6);
    EXPECT_NEAR(tags.end_pts * unit, frame_time(recipe, 10), 1e-6);
}

}  // namespace
