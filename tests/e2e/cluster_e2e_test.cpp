// quorvel cluster up to the submission (--dry-run): the warm-up it finds in
// the script, the batch scripts it writes, and the options it refuses
// before anything reaches the cluster.  The cluster itself is
// tests/cluster/slurm_test.sh.
#include <gtest/gtest.h>

#include "harness.h"
#include "test_video.h"

namespace {

class ClusterDryRun : public ::testing::Test {
protected:
    void SetUp() override {
        ClipRecipe recipe;
        recipe.frames = 40;
        ASSERT_EQ(make_video(dir_.file("clip.mp4"), recipe), "");
    }
    RunResult submit(const std::string& script, std::vector<std::string> extra = {}) {
        dir_.write("filter.lua", script);
        std::vector<std::string> args = {
            "cluster",  "--input", dir_.file("clip.mp4"), "--output", dir_.file("out.mkv"),
            "--dry-run"};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_quorvel(args);
    }
    ScriptDir dir_;
};

TEST_F(ClusterDryRun, TheWarmUpIsWhatTheScriptKeepsForCopyframeUnlessGiven) {
    RunResult r = submit("function video_filter(info, vars) copyframe(2, info.frame - 3) end",
                         {"--chunks", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warm-up 5 frames"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("3 chunks of frames 0 to 39"), std::string::npos) << r.err;
    EXPECT_NE(dir_.read("out.mkv.chunks/chunks.sh").find("--warmup 5 "), std::string::npos);
    // The three submissions: the array, then the join and the report on it.
    EXPECT_NE(r.out.find("--array=0-2 "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("--dependency=afterok:"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("--dependency=afternotok:"), std::string::npos) << r.out;

    r = submit("function video_filter(info, vars) end", {"--chunk-frames", "25"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warm-up 0 frames"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("2 chunks"), std::string::npos) << r.err;

    r = submit("function video_filter(info, vars) copyframe(2, 0) end",
               {"--chunks", "2", "--warmup", "12", "--", "--var", "a=7"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("warm-up"), std::string::npos) << r.err;
    const std::string chunks = dir_.read("out.mkv.chunks/chunks.sh");
    EXPECT_NE(chunks.find(" run --var a=7 --input "), std::string::npos) << chunks;
    EXPECT_NE(chunks.find("--warmup 12 "), std::string::npos);
}

TEST_F(ClusterDryRun, RefusesWhatChunksCannotDoBeforeSubmitting) {
    const std::string script = "function video_filter(info, vars) end";
    const auto refused = [&](std::vector<std::string> extra, const std::string& why) {
        const RunResult r = submit(script, extra);
        EXPECT_EQ(r.status, 2) << why;
        EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
    };
    refused({"--chunks", "2", "--", "--threads", "4"},
            "--threads is set by quorvel cluster itself");
    refused({"--chunks", "2", "--", "-ofile.mkv"}, "-ofile.mkv is set by quorvel cluster itself");
    refused({"--chunks", "2", "--", "--bogus"}, "the chunks' run options: unknown option");
    // ffmpeg's spellings: -ss is a start, -stats only looks like -s.
    refused({"--chunks", "2", "--", "-ss", "4"}, "-ss is set by quorvel cluster itself");
    refused({"--chunks", "2", "--", "-stats"}, "-stats is ffmpeg's; here: -p, --progress");
    refused({"--chunks", "2", "--", "--codec", "ffv1", "--end", "3"}, "--end is set by");
    refused({"--chunks", "2", "--start", "50"}, "--start 50 is past the end");
    const RunResult avi = run_quorvel({"cluster", "-i", dir_.file("clip.mp4"), "-o",
                                       dir_.file("out.avi"), "--chunks", "2", "--dry-run"});
    EXPECT_EQ(avi.status, 2);
    EXPECT_NE(avi.err.find(".mkv"), std::string::npos) << avi.err;
    const RunResult stream =
        run_quorvel({"cluster", "-i", "-", "-o", dir_.file("out.mkv"), "--chunks", "2",
                     "--script-dir", dir_.path(), "--dry-run"});
    EXPECT_EQ(stream.status, 2);
    EXPECT_NE(stream.err.find("is a stream"), std::string::npos) << stream.err;
}

}  // namespace
