// The script engine seen through the host program: what video_filter gets,
// where errors go, reloading while running, and the display track.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

// A Lua line that appends `expr` (a string expression) to out.txt.
std::string record(const std::string& expr) {
    return "do local f = io.open(info.script_path .. 'out.txt', 'a') f:write(" + expr +
           ", '\\n') f:close() end\n";
}

TEST(EngineRun, CallsVideoFilterOncePerFrameWithFrameAndVariableTables) {
    ScriptDir dir;
    const RunResult r =
        run_script(dir,
                   "function video_filter(info, vars)\n" +
                       record("table.concat({info.frame, info.frame_n, info.w, info.h, info.max_w, "
                              "info.max_h, vars.a, vars.b, vars.c, vars.d, vars.u, vars.v, vars.x, "
                              "vars.y, vars.z}, ',')") +
                       "end\n",
                   "blank:64x48", 3, {"--max", "80x50", "--var", "a=7", "--var", "z=4096"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("out.txt"),
              "0,3,64,48,80,50,7,0,0,0,0,0,2048,2048,4096\n"
              "1,3,64,48,80,50,7,0,0,0,0,0,2048,2048,4096\n"
              "2,3,64,48,80,50,7,0,0,0,0,0,2048,2048,4096\n");
    EXPECT_FALSE(dir.exists("lua_err.txt"));
}

TEST(EngineRun, ScriptPathIsTheScriptFolderWithATrailingSeparator) {
    ScriptDir dir;
    run_script(dir, "function video_filter(info)\n" + record("info.script_path") + "end\n",
               "blank:16x16", 1);
    EXPECT_EQ(dir.read("out.txt"), dir.path() + "/\n");
}

TEST(EngineRun, RuntimeErrorsAreLoggedWithTheirLocationAndShownAfterTheRun) {
    ScriptDir dir;
    const RunResult r =
        run_script(dir, "function video_filter(info)\n  error('broken ' .. info.frame)\nend\n",
                   "blank:64x48", 2, {"--keep-going"});
    EXPECT_EQ(r.status, 0);  // script errors do not fail frames
    const std::string path = dir.file("filter.lua");
    EXPECT_EQ(dir.read("lua_err.txt"), path + ":2: broken 0\n" + path + ":2: broken 1\n");
    EXPECT_NE(r.err.find("broken 1"), std::string::npos);
    const RunResult strict =
        run_script(dir, "function video_filter() error('x') end", "blank:16x16", 1, {"--strict"});
    EXPECT_EQ(strict.status, 1);
}

TEST(EngineRun, MissingVideoFilterIsLoggedOncePerFrame) {
    ScriptDir dir;
    run_script(dir, "local x = 1\n", "blank:16x16", 3, {"--keep-going"});
    EXPECT_EQ(dir.read("lua_err.txt"),
              "video_filter()が定義されていません\nvideo_filter()が定義されていません\n"
              "video_filter()が定義されていません\n");
}

TEST(EngineRun, WrongArgumentCountHasTheStandardText) {
    ScriptDir dir;
    run_script(dir, "function video_filter()\n  dispsize(100)\nend\n", "blank:64x48", 1);
    EXPECT_EQ(
        dir.read("lua_err.txt"),
        dir.file("filter.lua") + ":2: bad argument #1 to 'dispsize' (wrong number of argument)\n");
}

TEST(EngineRun, NoScriptMeansFramesPassThrough) {
    ScriptDir dir;
    const RunResult plain =
        run_quorvel({"run", "--input", "pattern:32x24", "--frames", "2", "--script-dir", dir.path(),
                     "--output", dir.file("o.y4m")});
    EXPECT_EQ(plain.status, 0) << plain.err;
    const Y4mVideo video = read_y4m(dir.file("o.y4m"));
    ASSERT_EQ(video.frames.size(), 2u);
    EXPECT_NE(video.frames[0], video.frames[1]);  // the pattern moves
}

// Saving the script while it runs reloads it within about a second: the log
// of the old script is gone and so are its dynamic buffers.
TEST(EngineRun, SavingTheScriptReloadsItWithinASecond) {
    ScriptDir dir;
    const std::string second_version = "function video_filter(info)\n" +
                                       record("'v2 ' .. info.frame .. ' ' .. createbuf()") +
                                       "end\n";
    const std::string first_version =
        "function video_filter(info)\n"
        "  if info.frame == 0 then\n"
        "    createbuf() createbuf()\n"
        "    local f = io.open(info.script_path .. 'filter.lua', 'w') f:write([==[" +
        second_version +
        "]==]) f:close()\n"
        "    local t = os.time() while os.time() - t < 2 do end\n"  // let the clock move on
        "    error('old error')\n"
        "  end\n" +
        record("'v1 ' .. info.frame") + "end\n";
    const RunResult r = run_script(dir, first_version, "blank:16x16", 2);
    EXPECT_EQ(r.status, 1) << r.err;  // the old script's error
    EXPECT_EQ(dir.read("out.txt"), "v2 1 10000\n");
    EXPECT_FALSE(dir.exists("lua_err.txt"));
}

TEST(EngineRun, DisplayTrackShowsTheChosenBuffer) {
    ScriptDir dir;
    // Slot 5 holds frame 0 of the input on every frame; showing it freezes
    // the moving pattern.
    const std::string script = "function video_filter(info) copyframe(5, 0) end\n";
    run_script(dir, script, "pattern:32x24", 3,
               {"--display", "5", "--output", dir.file("shown.y4m")});
    run_script(dir, script, "pattern:32x24", 3, {"--output", dir.file("plain.y4m")});
    const Y4mVideo shown = read_y4m(dir.file("shown.y4m"));
    const Y4mVideo plain = read_y4m(dir.file("plain.y4m"));
    ASSERT_EQ(shown.frames.size(), 3u);
    ASSERT_EQ(plain.frames.size(), 3u);
    EXPECT_EQ(shown.frames[2], plain.frames[0]);
    EXPECT_NE(plain.frames[2], plain.frames[0]);

    // A failing script skips the display copy.
    run_script(dir, "function video_filter(info) copyframe(5, 0) error('no') end\n",
               "pattern:32x24", 3, {"--display", "5", "--output", dir.file("failed.y4m")});
    EXPECT_EQ(read_y4m(dir.file("failed.y4m")).frames[2], plain.frames[2]);
}

TEST(EngineRun, RequireFindsModulesInTheScriptFolder) {
    ScriptDir dir;
    dir.write("helper.lua", "return { value = 'from helper' }\n");
    run_script(
        dir,
        "local h = require('helper')\nfunction video_filter(info)\n" + record("h.value") + "end\n",
        "blank:16x16", 1);
    EXPECT_EQ(dir.read("out.txt"), "from helper\n");
}

TEST(EngineRun, ScriptNumberPicksTheNumberedFile) {
    ScriptDir dir;
    dir.write("filter7.lua", "function video_filter(info)\n" + record("'seven'") + "end\n");
    run_script(dir, "function video_filter(info)\n" + record("'zero'") + "end\n", "blank:16x16", 1,
               {"--script-no", "7"});
    EXPECT_EQ(dir.read("out.txt"), "seven\n");
}

}  // namespace

namespace {

TEST(EngineRun, LoadingThePluginAppendsItsFolderToPath) {
    ScriptDir dir;
    run_script(dir, "function video_filter(info)\n" + record("os.getenv('PATH')") + "end\n",
               "blank:16x16", 1);
    std::string binary = QUORVEL_BINARY;
    const std::string folder = binary.substr(0, binary.find_last_of('/'));
    const std::string path = dir.read("out.txt");
    ASSERT_GE(path.size(), folder.size() + 2);
    EXPECT_EQ(path.substr(path.size() - folder.size() - 2), ":" + folder + "\n");
}

}  // namespace
