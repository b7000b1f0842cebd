// How quorvel cluster cuts frames into chunks, and its options.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cluster/chunk_plan.h"
#include "options.h"

extern "C" FILTER_DLL* GetFilterTable();

namespace {

std::vector<std::pair<int, int>> ranges(int first, int last, int chunks, int frames) {
    std::string error;
    std::vector<std::pair<int, int>> out;
    for (const Chunk& c : plan_chunks(first, last, chunks, frames, &error))
        out.emplace_back(c.first, c.last);
    return out;
}

using Ranges = std::vector<std::pair<int, int>>;

TEST(ChunkPlan, CoversEveryFrameOnceInChunksOfNearlyEqualLength) {
    EXPECT_EQ(ranges(0, 239, 4, 0), (Ranges{{0, 59}, {60, 119}, {120, 179}, {180, 239}}));
    // The longer chunks first; from a start that is not 0.
    EXPECT_EQ(ranges(10, 20, 3, 0), (Ranges{{10, 13}, {14, 17}, {18, 20}}));
    // Never more chunks than frames.
    EXPECT_EQ(ranges(5, 6, 4, 0), (Ranges{{5, 5}, {6, 6}}));
    // Chunks of F frames, the last one shorter.
    EXPECT_EQ(ranges(0, 99, 0, 30), (Ranges{{0, 29}, {30, 59}, {60, 89}, {90, 99}}));
    EXPECT_EQ(ranges(0, 9, 0, 100), (Ranges{{0, 9}}));
    // Near the top of the frame numbers nothing overflows.
    EXPECT_EQ(ranges(2147483600, 2147483646, 0, 40),
              (Ranges{{2147483600, 2147483639}, {2147483640, 2147483646}}));
    std::string error;
    EXPECT_TRUE(plan_chunks(0, 9, 0, 0, &error).empty());
    EXPECT_NE(error.find("--chunks"), std::string::npos);
}

struct Parsed {
    bool ok;
    Options options;
    std::string error;
};

Parsed parse(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    Parsed p{};
    p.ok = parse_options(static_cast<int>(argv.size()), argv.data(), GetFilterTable(), &p.options,
                         &p.error);
    return p;
}

TEST(ClusterOptions, TakeTheChunkingAndPassTheRestToEachRun) {
    const Parsed p =
        parse({"cluster", "-i", "in.mp4", "-o", "out.mkv", "--chunks", "8", "--warmup", "10",
               "--sbatch=--partition=render", "--wait", "--", "--var", "a=300", "--strict"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.command, Command::cluster);
    EXPECT_EQ(p.options.chunks, 8);
    EXPECT_EQ(p.options.warmup, 10);
    EXPECT_EQ(p.options.sbatch_args, std::vector<std::string>{"--partition=render"});
    EXPECT_TRUE(p.options.wait);
    EXPECT_EQ(p.options.run_args, (std::vector<std::string>{"--var", "a=300", "--strict"}));
    // Without --warmup the script is asked.
    EXPECT_EQ(
        parse({"cluster", "-i", "a.mp4", "-o", "b.mkv", "--chunk-frames", "100"}).options.warmup,
        -1);

    const auto refused = [](std::vector<std::string> args, const std::string& why) {
        const Parsed r = parse(args);
        EXPECT_FALSE(r.ok) << why;
        EXPECT_NE(r.error.find(why), std::string::npos) << r.error;
    };
    refused({"cluster", "-i", "a.mp4", "-o", "b.mkv"}, "either --chunks N or --chunk-frames F");
    refused({"cluster", "-i", "a.mp4", "-o", "b.mkv", "--chunks", "2", "--chunk-frames", "9"},
            "either --chunks N or --chunk-frames F");
    refused({"cluster", "-i", "a.mp4", "-o", "b.mkv", "--chunks", "0"}, "--chunks must be");
    refused({"cluster", "-i", "a.mp4", "-o", "b.mkv", "--chunks", "2", "--cpus-per-chunk", "17"},
            "--cpus-per-chunk must be from 1 to 16");
    refused({"cluster", "-i", "a.mp4", "-o", "b.mkv", "--chunks", "2", "--warmup", "-1"},
            "--warmup must be a whole number");
}

}  // namespace
