// The scripts that took the host down or held it for good, through the
// host program: each must now end as a script error of its frame while the
// run goes on (every frame is written, and the errors make the exit status
// 1), and a signal must end the program within a second whatever the script
// does.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The frames of a run's Y4M output.
std::size_t frames_of(const RunResult& r) { return parse_y4m(r.out).frames.size(); }

TEST(ScriptEscapes, PatternsNoLongerCrashOrHoldTheRun) {
    ScriptDir dir;
    // Before: SIGSEGV, in or out of pcall.
    RunResult r = run_script(dir,
                             "function video_filter()\n"
                             "  pcall(string.find, string.rep('a', 1e6), string.rep('a?', 1e6))\n"
                             "  string.find(string.rep('a', 1e6), string.rep('a?', 1e6))\n"
                             "end\n",
                             "blank:16x16", 2, {"--sandbox", "-o", "-"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(frames_of(r), 2u);
    EXPECT_NE(r.err.find("pattern too complex"), std::string::npos) << r.err;
    // Before: backtracking in native code ran for hours.
    const auto start = Clock::now();
    r = run_script(dir,
                   "function video_filter() string.find(string.rep('a', 200000), '.-.-.-.-b') end",
                   "blank:16x16", 2, {"--frame-timeout", "0.5", "-o", "-"});
    EXPECT_LT(seconds_since(start), 4.0);
    EXPECT_EQ(frames_of(r), 2u);
    EXPECT_NE(r.err.find("script took longer than 0.5 s in this frame"), std::string::npos)
        << r.err;
}

TEST(ScriptEscapes, TheBudgetReachesErrorHandlersFinalisersAndLongCalls) {
    ScriptDir dir;
    // Before: the handler ran with hooks off and the run hung for good.
    auto start = Clock::now();
    RunResult r =
        run_script(dir,
                   "function video_filter()\n"
                   "  xpcall(function() while true do end end, function() while true do end end)\n"
                   "end\n",
                   "blank:16x16", 3, {"--frame-timeout", "0.5", "-o", "-"});
    EXPECT_LT(seconds_since(start), 5.0);
    EXPECT_EQ(frames_of(r), 3u);
    EXPECT_NE(r.err.find("script errors in 3 of 3 frames"), std::string::npos) << r.err;
    // Before: a finaliser kept alive hung the host at exit.
    start = Clock::now();
    r = run_script(dir,
                   "keep = newproxy(true)\n"
                   "getmetatable(keep).__gc = function() while true do end end\n"
                   "function video_filter() end\n",
                   "blank:16x16", 2, {"--frame-timeout", "0.5", "-o", "-"});
    EXPECT_LT(seconds_since(start), 4.0);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(frames_of(r), 2u);
    // Under the sandbox there is no newproxy at all.
    r = run_script(dir, "function video_filter() assert(newproxy == nil) end", "blank:16x16", 1,
                   {"--sandbox", "--strict"});
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST(ScriptEscapes, ALoopOfLongCallsStopsNearTheBudget) {
    ScriptDir dir;
    // The program's start and one frame of an empty script, for scale.
    auto start = Clock::now();
    run_script(dir, "function video_filter(info) end", "blank:1920x1080", 1, {});
    const double startup = seconds_since(start);
    // Before: 25 s for a loop of blurs under a 1 s budget (the hook counts
    // instructions, and they are few).  A blur this wide takes over ten
    // seconds alone; now it stops at the deadline between its blocks of
    // rows, and the script ends with the budget error.
    start = Clock::now();
    const RunResult r = run_script(dir,
                                   "function video_filter(info) while true do\n"
                                   "  gaussian(0, 0, 0, 0, info.w, info.h, 0, 0, 3000)\n"
                                   "end end\n",
                                   "blank:1920x1080", 1, {"--frame-timeout", "1"});
    EXPECT_LT(seconds_since(start), startup + 1.5);
    EXPECT_NE(r.err.find("script took longer than 1 s"), std::string::npos) << r.err;
}

TEST(ScriptEscapes, AMedianWithTheBufferAsWindowStopsNearTheBudget) {
    ScriptDir dir;
    // Before: 107 s for one call; its window is now the region, and the
    // call looks at the deadline between its rows.
    const auto start = Clock::now();
    const RunResult r =
        run_script(dir,
                   "function video_filter(info)\n"
                   "  median(0, 0, 0, 0, info.w, info.h, 0, 0, info.max_w, info.max_h)\n"
                   "end\n",
                   "blank:480x270", 1, {"--frame-timeout", "1"});
    EXPECT_LT(seconds_since(start), 2.5);
    EXPECT_NE(r.err.find("script took longer than 1 s"), std::string::npos) << r.err;
}

TEST(ScriptEscapes, StandardInputIsTheVideosAlone) {
    ScriptDir dir;
    // Y4M on standard input: the script reads nothing of it.
    const RunResult source =
        run_quorvel({"run", "--input", "pattern:32x16", "--frames", "4", "-o", "-"});
    ASSERT_EQ(frames_of(source), 4u);
    dir.write("filter.lua", "function video_filter() assert(io.read('*a') == '') end");
    RunResult r = run_quorvel(
        {"run", "--input", "-", "--script-dir", dir.path(), "-o", "-", "--strict"}, source.out);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(frames_of(r), 4u);
    // Sandboxed, reading it is an error, and the run goes on.
    dir.write("filter.lua", "function video_filter() io.read('*l') end");
    r = run_quorvel({"run", "--input", "-", "--script-dir", dir.path(), "-o", "-", "--sandbox"},
                    source.out);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(frames_of(r), 4u);
    EXPECT_NE(r.err.find("standard input is closed to the script (sandbox)"), std::string::npos)
        << r.err;
}

TEST(ScriptEscapes, MessagesAndTheLogStayBounded) {
    ScriptDir dir;
    // Before: 50 MB errors took the host to gigabytes and the log with it.
    const RunResult r = run_script(dir,
                                   "function video_filter(info)\n"
                                   "  error(string.rep(tostring(info.frame), 5e7), 0)\n"
                                   "end\n",
                                   "blank:16x16", 6, {"--memory-limit", "1G"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_LE(std::filesystem::file_size(dir.file("lua_err.txt")), 6u * 4097);
    EXPECT_NE(dir.read("lua_err.txt").find("\xe2\x80\xa6(cut)\n"), std::string::npos);
    EXPECT_LT(r.err.size(), 100000u);
}

TEST(ScriptEscapes, TheMemoryCapComesFromTheProcessLimits) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer cannot start under ulimit -v (its shadow memory)";
#endif
    ScriptDir dir;
    RunResult r = run_quorvel({"run", "--info", "--input", "blank:64x64"});
    EXPECT_NE(r.out.find("memory   a script may hold"), std::string::npos) << r.out;
    // Before: "out of memory", nothing written, "script errors in 1 of 0 frames".
    dir.write("filter.lua",
              "function video_filter(info)\n"
              "  if info.frame == 0 then local t = {} for i = 1, 1e9 do t[i] = i end end\n"
              "end\n");
    dir.write("limited.sh",
              std::string("ulimit -v 1500000\nexec '") + QUORVEL_BINARY + "' \"$@\"\n");
    const std::string info = "bash '" + dir.file("limited.sh") +
                             "' run --info --input blank:64x64 > '" + dir.file("info.txt") + "'";
    ASSERT_EQ(std::system(info.c_str()), 0);
    EXPECT_NE(dir.read("info.txt").find("ulimit -v"), std::string::npos) << dir.read("info.txt");
    const std::string run = "bash '" + dir.file("limited.sh") +
                            "' run --input blank:64x64 --frames 3 --script-dir '" + dir.path() +
                            "' -o '" + dir.file("out.y4m") + "' 2> '" + dir.file("err.txt") + "'";
    EXPECT_EQ(WEXITSTATUS(std::system(run.c_str())), 1) << dir.read("err.txt");
    EXPECT_EQ(read_y4m(dir.file("out.y4m")).frames.size(), 3u);
    EXPECT_NE(dir.read("err.txt").find("not enough memory"), std::string::npos)
        << dir.read("err.txt");
    EXPECT_NE(dir.read("err.txt").find("script errors in 1 of 3 frames"), std::string::npos)
        << dir.read("err.txt");
}

// A program started in the background, to be signalled.
struct Background {
    pid_t pid = -1;
    explicit Background(const std::vector<std::string>& args, const std::string& err_file) {
        pid = fork();
        if (pid == 0) {
            const int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int null = open("/dev/null", O_RDWR);
            dup2(null, STDIN_FILENO);
            dup2(null, STDOUT_FILENO);
            dup2(err, STDERR_FILENO);
            std::vector<char*> argv;
            std::string binary = QUORVEL_BINARY;
            argv.push_back(binary.data());
            std::vector<std::string> copy = args;
            for (std::string& a : copy) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(binary.c_str(), argv.data());
            _exit(127);
        }
    }
    // Waits up to `seconds`; the exit status, or -1 (the program is killed).
    int wait(double seconds) {
        const auto start = Clock::now();
        int status = 0;
        while (seconds_since(start) < seconds) {
            if (waitpid(pid, &status, WNOHANG) == pid)
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
};

void wait_for_file(const std::string& path) {
    for (int i = 0; i < 1000 && !std::filesystem::exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

TEST(ScriptEscapes, ASignalEndsTheRunWithinASecondWhateverTheScriptDoes) {
    ScriptDir dir;
    const std::string stuck =
        "function video_filter(info)\n"
        "  if info.frame == 2 then io.open(info.script_path .. 'stuck', 'w'):close() "
        "while true do end end\n"
        "end\n";
    dir.write("filter.lua", stuck);
    // In the program's own process, no budget: the output cannot be kept.
    {
        Background run({"run", "--input", "blank:16x16", "--frames", "5", "--frame-timeout", "0",
                        "--script-dir", dir.path(), "-o", dir.file("out.y4m")},
                       dir.file("err.txt"));
        wait_for_file(dir.file("stuck"));
        const auto start = Clock::now();
        kill(run.pid, SIGTERM);
        EXPECT_NE(run.wait(5), -1);
        EXPECT_LT(seconds_since(start), 1.3);
        EXPECT_FALSE(dir.exists("out.y4m"));
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos);
    }
    // In a worker (the sandbox): the worker is ended and the frames done are kept.
    std::filesystem::remove(dir.file("stuck"));
    dir.write("filter.lua", stuck);
    {
        Background run({"run", "--input", "blank:16x16", "--frames", "5", "--frame-timeout", "30",
                        "--sandbox", "--script-dir", dir.path(), "-o", dir.file("out.y4m")},
                       dir.file("err.txt"));
        wait_for_file(dir.file("stuck"));
        const auto start = Clock::now();
        kill(run.pid, SIGINT);
        EXPECT_EQ(run.wait(5), 1);
        EXPECT_LT(seconds_since(start), 1.3);
        EXPECT_NE(dir.read("err.txt").find("stopped by SIGINT"), std::string::npos)
            << dir.read("err.txt");
        EXPECT_GE(read_y4m(dir.file("out.y4m")).frames.size(), 2u);
    }
}

TEST(ScriptEscapes, ASignalEndsThePreviewWithinASecondWhateverTheScriptDoes) {
    ScriptDir dir;
    // Before: the session stayed busy for good and the server ignored the
    // signal.
    dir.write("filter.lua",
              "function video_filter(info)\n"
              "  io.open(info.script_path .. 'stuck', 'w'):close()\n"
              "  xpcall(function() while true do end end, function() while true do end end)\n"
              "end\n");
    Background preview({"preview", "--input", "blank:16x16", "--port", "0", "--frame-timeout", "0",
                        "--script-dir", dir.path()},
                       dir.file("err.txt"));
    wait_for_file(dir.file("stuck"));
    const auto start = Clock::now();
    kill(preview.pid, SIGTERM);
    EXPECT_EQ(preview.wait(5), 0) << dir.read("err.txt");
    EXPECT_LT(seconds_since(start), 1.3);
}

}  // namespace
