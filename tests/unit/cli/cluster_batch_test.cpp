// The batch scripts of quorvel cluster, run by bash with a stand-in for
// the program: what a chunk's task runs and how often, and what the join
// and the report of a failed chunk leave behind.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cluster/batch_files.h"

namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void write(const fs::path& path, const std::string& text, bool executable = false) {
    std::ofstream(path) << text;
    if (executable) chmod(path.c_str(), 0755);
}

// How often the stand-in ran.
int runs(const std::string& calls) {
    int n = 0;
    for (std::size_t at = calls.find("----\n"); at != std::string::npos;
         at = calls.find("----\n", at + 1))
        ++n;
    return n;
}

class Batch : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/quorvel-batch-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        root_ = name;
        fs::create_directories(root_ / "work");
        fs::create_directories(root_ / "scripts with space");
        write(root_ / "scripts with space" / "filter.lua", "-- the script\n");
        write(root_ / "scripts with space" / "lua_err.txt", "an old error\n");
        write(root_ / "scripts with space" / "logo.png", "picture");
        // The stand-in records its arguments, one per line, and fails as
        // often as the file "failures" says, writing the output otherwise.
        write(root_ / "quorvel",
              "#!/bin/bash\n"
              "printf '%s\\n' \"$@\" >>\"" +
                  (root_ / "calls").string() +
                  "\"\n"
                  "echo ---- >>\"" +
                  (root_ / "calls").string() +
                  "\"\n"
                  "f=\"" +
                  (root_ / "failures").string() +
                  "\"\n"
                  "n=$(cat \"$f\" 2>/dev/null || echo 0)\n"
                  "if [ \"$n\" -gt 0 ]; then echo $((n - 1)) >\"$f\"; exit 3; fi\n"
                  "while [ $# -gt 0 ]; do [ \"$1\" = --output ] && : >\"$2\"; shift; done\n",
              true);
        plan_.program = (root_ / "quorvel").string();
        plan_.work = (root_ / "work").string();
        plan_.input = "/videos/in put.mp4";
        plan_.script_dir = (root_ / "scripts with space").string();
        plan_.output = (root_ / "out.mkv").string();
        plan_.run_args = {"--var", "a=it's"};
        plan_.chunks = {{0, 59}, {60, 119}, {120, 179}};
        plan_.warmup = 10;
    }
    void TearDown() override { fs::remove_all(root_); }

    // Runs one of the scripts as Slurm would; its exit status.
    int run(const std::string& script, const std::string& env = "") {
        write(root_ / "work" / "script.sh", script);
        const std::string command = env + " bash '" + (root_ / "work" / "script.sh").string() +
                                    "' >>'" + (root_ / "log").string() + "' 2>&1";
        return WEXITSTATUS(std::system(command.c_str()));
    }
    std::string calls() const { return read(root_ / "calls"); }

    fs::path root_;
    BatchPlan plan_;
};

TEST_F(Batch, ATaskRunsItsChunkFromAFolderOfItsOwnAndOnceMoreWhenItFails) {
    write(root_ / "failures", "1");
    EXPECT_EQ(run(chunks_script(plan_), "SLURM_ARRAY_TASK_ID=1 SLURM_CPUS_PER_TASK=32"), 0);
    const fs::path scripts = root_ / "work" / "chunk_001.script";
    const std::string once = "run\n--var\na=it's\n--input\n/videos/in put.mp4\n--script-dir\n" +
                             scripts.string() + "\n--output\n" +
                             (root_ / "work" / "chunk_001.mkv").string() + "\n-y" +
                             "\n--start\n60\n--end\n119\n--warmup\n10\n--threads\n16\n----\n";
    EXPECT_EQ(calls(), once + once);
    EXPECT_TRUE(fs::exists(root_ / "work" / "chunk_001.mkv"));
    // The script is a copy, other files are links, the old log stays out.
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(scripts / "filter.lua")));
    EXPECT_TRUE(fs::is_symlink(scripts / "logo.png"));
    EXPECT_FALSE(fs::exists(scripts / "lua_err.txt"));
    EXPECT_NE(read(root_ / "log").find("chunk 1 failed (exit status 3)"), std::string::npos);

    // Failing twice fails the task, and no segment is left.
    fs::remove(root_ / "calls");
    write(root_ / "failures", "2");
    EXPECT_EQ(run(chunks_script(plan_), "SLURM_ARRAY_TASK_ID=2"), 1);
    EXPECT_EQ(runs(calls()), 2);
    EXPECT_NE(calls().find("--threads\n1\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(root_ / "work" / "chunk_002.mkv"));
}

TEST_F(Batch, TheJoinOrTheReportSaysHowTheWholeEnded) {
    // Chunk 1 is missing: the report names its log.
    write(root_ / "work" / "chunk_000.mkv", "");
    write(root_ / "work" / "chunk_002.mkv", "");
    EXPECT_EQ(run(failure_script(plan_)), 1);
    const std::string result = read(result_path(plan_));
    EXPECT_EQ(result.substr(0, 7), "failed\n");
    EXPECT_NE(result.find("chunk 1 (frames 60 to 119) failed twice; its log is " + plan_.work +
                          "/chunk_001.log"),
              std::string::npos)
        << result;
    EXPECT_EQ(result.find("chunk 0"), std::string::npos);

    // The join takes the segments in order and removes them when done.
    write(root_ / "work" / "chunk_001.mkv", "");
    EXPECT_EQ(run(join_script(plan_)), 0);
    EXPECT_EQ(calls(), "join\n" + plan_.work + "/chunk_000.mkv\n" + plan_.work +
                           "/chunk_001.mkv\n" + plan_.work + "/chunk_002.mkv\n--output\n" +
                           plan_.output + "\n----\n");
    EXPECT_EQ(read(result_path(plan_)).substr(0, 5), "done\n");
    EXPECT_FALSE(fs::exists(root_ / "work" / "chunk_001.mkv"));

    // A join that fails says so in the result.
    write(root_ / "failures", "1");
    EXPECT_EQ(run(join_script(plan_)), 1);
    EXPECT_NE(read(result_path(plan_)).find("the join failed"), std::string::npos);
}

TEST(BatchSubmission, TheJoinAndTheReportHangOnTheArray) {
    BatchPlan plan;
    plan.work = "/shared/w";
    plan.chunks.resize(1200);
    plan.cpus = 2;
    plan.sbatch_args = {"--partition=render"};
    EXPECT_EQ(chunks_submission(plan),
              (std::vector<std::string>{"sbatch", "--parsable", "--job-name=quorvel-chunks",
                                        "--array=0-1199", "--cpus-per-task=2",
                                        "--output=/shared/w/chunk_%4a.log", "--partition=render",
                                        "/shared/w/chunks.sh"}));
    EXPECT_EQ(chunk_name(plan, 7), "chunk_0007");
    const std::vector<std::string> join = join_submission(plan, "42");
    EXPECT_NE(std::find(join.begin(), join.end(), "--dependency=afterok:42"), join.end());
    const std::vector<std::string> report = failure_submission(plan, "42");
    EXPECT_NE(std::find(report.begin(), report.end(), "--dependency=afternotok:42"), report.end());
    for (const auto* argv : {&join, &report})
        EXPECT_NE(std::find(argv->begin(), argv->end(), "--kill-on-invalid-dep=yes"), argv->end());
    EXPECT_EQ(shell_quote("it's a b"), "'it'\\''s a b'");
    EXPECT_EQ(shell_quote("/plain/path-1.mkv"), "/plain/path-1.mkv");
    EXPECT_EQ(shell_quote(""), "''");
}

}  // namespace
