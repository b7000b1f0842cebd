// The plug-in in a worker process: the same frames, boxes and clicks as in
// the host's own process; a worker that crashes or stops answering past its
// budget is replaced, its frame passes through and the script starts again.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "harness.h"
#include "host/host_os.h"
#include "host/plugin_host.h"
#include "media/frame_source.h"

namespace {

std::string plugin_beside_binary() { return host_os::folder_of(QUORVEL_BINARY) + "/quorvel.auf"; }

int answer_ok(void*, const char*, const char*, unsigned) { return IDOK; }
void* no_window(const char*) { return nullptr; }
void no_message(void*, unsigned, std::uintptr_t, std::intptr_t) {}
const DesktopServices quiet = {answer_ok, no_window, no_message};

TEST(PluginWorker, ACrashedOrStuckWorkerIsReplacedAndItsFramePassesThrough) {
    ScriptDir dir;
    dir.write("filter.lua", "local f = io.open([[" + dir.path() +
                                "/loads.txt]], 'a') f:write('x') f:close()\n"
                                "function video_filter(info)\n"
                                "  set_yc(0, 0, 0, 1000, 0, 0)\n"
                                "  if info.frame == 1 then os.execute('kill -ABRT $PPID') end\n"
                                "  if info.frame == 3 then os.execute('kill -STOP $PPID') end\n"
                                "end\n");
    PluginHost host;
    std::string error;
    ASSERT_TRUE(host.load(plugin_beside_binary(), &error)) << error;
    ASSERT_TRUE(host.set_script_limits(0.5, 256u << 20, false));
    ASSERT_TRUE(host.use_worker_process(QUORVEL_BINARY, &error)) << error;
    bool usage = false;
    std::unique_ptr<FrameSource> source = open_source("pattern:32x16", &error, &usage);
    ASSERT_TRUE(source) << error;
    host.set_frame_n(5);
    host.begin(source.get(), 32, 16, dir.file("input.y4m"), {0, 1}, &quiet);
    std::string loads_seen;
    for (int n = 0; n < 5; ++n) {
        std::int64_t pts = 0;
        ASSERT_TRUE(host.read_next(&pts, &error)) << error;
        const short input_y = host.output()[0].y;
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(host.process(n, &error)) << error;
        const double took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const short y = host.output()[0].y;
        if (n == 1) {
            // A crash (abort: a sanitizer turns SIGSEGV into an exit of its own).
            EXPECT_NE(host.worker_error().find("the script's process ended: killed by signal 6"),
                      std::string::npos)
                << host.worker_error();
            EXPECT_EQ(y, input_y);  // passed through, whatever the script had drawn
            // The frame's error is in the script's log, until the next
            // worker loads the script afresh.
            EXPECT_NE(dir.read("lua_err.txt").find("the script's process ended: killed by signal"),
                      std::string::npos);
        } else if (n == 3) {
            EXPECT_NE(host.worker_error().find("ran past the frame's time budget (0.5 s) by more "
                                               "than 1 s and was stopped"),
                      std::string::npos)
                << host.worker_error();
            EXPECT_EQ(y, input_y);
            EXPECT_LT(took, 3.0);
        } else {
            EXPECT_EQ(host.worker_error(), "");
            EXPECT_EQ(y, 1000);
        }
        loads_seen += std::to_string(dir.read("loads.txt").size());
    }
    // The script's main chunk ran again in each new worker.
    EXPECT_EQ(loads_seen, "11223");
    host.end();
}

TEST(PluginWorker, NewLimitsReachARunningWorker) {
    ScriptDir dir;
    dir.write("filter.lua",
              "function video_filter(info) if info.frame == 1 then while true do end end end\n");
    PluginHost host;
    std::string error;
    ASSERT_TRUE(host.load(plugin_beside_binary(), &error)) << error;
    ASSERT_TRUE(host.set_script_limits(30, 256u << 20, false));
    ASSERT_TRUE(host.use_worker_process(QUORVEL_BINARY, &error)) << error;
    bool usage = false;
    std::unique_ptr<FrameSource> source = open_source("blank:16x16", &error, &usage);
    ASSERT_TRUE(source) << error;
    host.set_frame_n(2);
    host.begin(source.get(), 16, 16, dir.file("input.y4m"), {0, 1}, &quiet);
    std::int64_t pts = 0;
    ASSERT_TRUE(host.read_next(&pts, &error) && host.process(0, &error)) << error;
    // As a GStreamer element's properties change while it plays.
    host.set_script_limits(0.3, 256u << 20, false);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(host.read_next(&pts, &error) && host.process(1, &error)) << error;
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0);
    EXPECT_NE(dir.read("lua_err.txt").find("script took longer than 0.3 s"), std::string::npos);
    EXPECT_EQ(host.worker_error(), "");
    host.end();
}

TEST(PluginWorker, FramesBoxesAndClicksAreTheSameAsInTheHostsProcess) {
    ScriptDir dir;
    dir.write("filter.lua",
              "function video_filter(info)\n"
              "  copyframe(3, info.frame - 1)\n"
              "  if info.frame > 0 then alpha(3, 0, 0, 0, info.w, info.h, 0, 0, 2048) end\n"
              "  if info.frame == 1 then msgbox('box on frame 1', 'caption') end\n"
              "  if info.frame % 2 == 1 then swapbuf(0, 1) copy(1, 0, 0, 0, 8, 8, 0, 0) end\n"
              "  if info.frame == 2 then dispsize(16, 8) end\n"
              "  set_frame_n(4)\n"
              "end\n");
    const std::vector<std::string> args = {
        "run", "--input", "pattern:32x16", "--frames",        "6", "--script-dir", dir.path(), "-o",
        "-",   "--click", "3,2",           "--frame-timeout", "5"};
    const RunResult here = run_quorvel(args);
    std::vector<std::string> sandboxed = args;
    sandboxed.push_back("--sandbox");
    const RunResult apart = run_quorvel(sandboxed);
    EXPECT_EQ(here.status, 0) << here.err;
    EXPECT_EQ(apart.status, 0) << apart.err;
    EXPECT_EQ(parse_y4m(apart.out).frames.size(), 4u);
    EXPECT_EQ(apart.out, here.out);
    EXPECT_NE(apart.err.find("box on frame 1"), std::string::npos) << apart.err;
    // The click's colour box, shown by the worker through the host.
    EXPECT_NE(apart.err.find("\xe8\x89\xb2\xe6\x83\x85\xe5\xa0\xb1 - Quorvel"), std::string::npos)
        << apart.err;
}

}  // namespace
