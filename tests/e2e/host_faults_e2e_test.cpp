// Nothing a script or a command line does takes the host program down:
// limits on what a script spends, the sandbox, sizes and positions that do
// not fit, a script that lengthens the video, errors lost to a reload, and a
// reader that closes the pipe.
#include <gtest/gtest.h>

#include <cstdlib>

#include "harness.h"

namespace {

TEST(HostLimits, TheScriptsTimeMemoryAndReachAreBounded) {
    ScriptDir dir;
    RunResult r = run_script(dir, "function video_filter() while true do end end", "blank:16x16", 1,
                             {"--frame-timeout", "0.5"});
    EXPECT_EQ(r.status, 1);  // a script error: the frame is written, the run fails
    EXPECT_NE(r.err.find("script took longer than 0.5 s in this frame"), std::string::npos)
        << r.err;

    r = run_script(dir, "function video_filter() local t = {} for i = 1, 1e8 do t[i] = i end end",
                   "blank:16x16", 1, {"--memory-limit", "8M", "--strict"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not enough memory"), std::string::npos) << r.err;

    // The sandbox keeps the script from running programs.
    const std::string script =
        std::string("function video_filter() os.execute('touch ") + dir.file("ran") + "') end";
    r = run_script(dir, script, "blank:16x16", 1, {"--sandbox", "--strict"});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(dir.exists("ran"));
    r = run_script(dir, script, "blank:16x16", 1, {"--strict"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(dir.exists("ran"));

    EXPECT_EQ(run_quorvel({"run", "--sandbox", "--frame-timeout", "0"}).status, 2);
    EXPECT_EQ(run_quorvel({"run", "--memory-limit", "lots"}).status, 2);
}

TEST(HostLimits, AnErrorWithoutAValueIsStillAnError) {
    ScriptDir dir;
    const RunResult r =
        run_script(dir, "function video_filter() error() end", "blank:16x16", 2, {"--strict"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("script errors in 2 of 2 frames"), std::string::npos) << r.err;
}

TEST(HostLimits, SizesAndPositionsThatDoNotFitAreUsageErrors) {
    // 100000 x 100000 pixels would need 55 GiB a buffer.
    RunResult r = run_quorvel({"run", "--input", "blank:16x16", "--max", "100000x100000"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("the editor's limit is 2048 MiB"), std::string::npos) << r.err;
    // 65536 would wrap to 0 in the editor's 16-bit click position and show
    // pixel (0, 0); a click beside the picture shows nothing.
    r = run_quorvel({"run", "--input", "blank:16x16", "--frames", "1", "--click", "65536,0"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("from 0 to 32767 (got \"65536,0\")"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    r = run_quorvel({"run", "--input", "blank:16x16", "--frames", "1", "--click", "16,0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST(HostLimits, TheCommandLineCountIsACapForSetFrameN) {
    ScriptDir dir;
    const RunResult r = run_script(dir, "function video_filter(info) set_frame_n(1000000) end",
                                   "blank:16x16", 5, {"-o", "-"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(parse_y4m(r.out).frames.size(), 5u);
    EXPECT_NE(
        r.err.find("the script asked for 1000000 frames; the command line stops the run at 5"),
        std::string::npos)
        << r.err;
}

TEST(HostLimits, ErrorsBeforeAReloadStayInTheSummary) {
    ScriptDir dir;
    // Frame 0 fails one way and rewrites the script, which the plug-in
    // reloads (deleting lua_err.txt) once the clock has moved on a second.
    const std::string second = "function video_filter() error('second', 0) end\n";
    const std::string first =
        "function video_filter(info)\n"
        "  if info.frame == 0 then\n"
        "    local f = io.open(info.script_path .. 'filter.lua', 'w') f:write([[" +
        second +
        "]]) f:close()\n"
        "    local t = os.time() while os.time() < t + 2 do end\n"
        "    error('first', 0)\n"
        "  end\n"
        "end\n";
    const RunResult r = run_script(dir, first, "blank:16x16", 2);
    EXPECT_EQ(dir.read("lua_err.txt"), "second\n");  // the log on disk lost the first error
    EXPECT_NE(r.err.find("script errors in 2 of 2 frames"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1x first"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1x second"), std::string::npos) << r.err;
}

TEST(HostLimits, AReaderThatClosesThePipeIsAnErrorNotASignal) {
    ScriptDir dir;
    dir.write("pipe.sh", std::string("'") + QUORVEL_BINARY +
                             "' run --input blank:64x64 --frames 200 -o - 2>'" +
                             dir.file("err.txt") +
                             "' | head -c 100 > /dev/null\necho ${PIPESTATUS[0]} > '" +
                             dir.file("status.txt") + "'\n");
    ASSERT_EQ(std::system(("bash '" + dir.file("pipe.sh") + "'").c_str()), 0);
    EXPECT_EQ(dir.read("status.txt"), "1\n");
    EXPECT_NE(dir.read("err.txt").find("the reader closed the pipe"), std::string::npos)
        << dir.read("err.txt");
}

}  // namespace
