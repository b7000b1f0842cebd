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

    EXPECT_EQ(run_quorvel({"run", "--warmup", "-2"}).status, 2);
}

TEST(Warmup, AnErrorWhileWarmingUpFailsAStrictRun) {
    ScriptDir dir;
    dir.write("filter.lua", kRecorder);
    setenv("QUORVEL_TEST_FAIL", "3", 1);
    const std::vector<std::string> args = {
        "run",      "--input", "pattern:64x48", "--start", "5", "--end", "6",
        "--warmup", "3",       "--script-dir",  dir.path()};
    RunResult r = run_quorvel(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("broken"), std::string::npos) << r.err;
    std::vector<std::string> strict = args;
    strict.push_back("--strict");
    r = run_quorvel(strict);
    EXPECT_EQ(r.status, 1) << r.err;
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
    const VideoSpec spec;
    ASSERT_EQ(make_video(dir.file("clip.mp4"), spec), "");
    ASSERT_EQ(run_quorvel({"run", "--input", dir.file("clip.mp4"), "--script-dir", dir.path(),
                           "--output", dir.file("whole.mkv")})
                  .status,
              0);
    ASSERT_EQ(avformat_open_input(&in, dir.file("whole.mkv").c_str(), nullptr, nullptr), 0);
    EXPECT_FALSE(read_chunk_tags(in->metadata, &tags));
    avformat_close_input(&in);
}

}  // namespace
