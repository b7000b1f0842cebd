// What a hostile or careless script cannot do to the host: raise outside a
// protected call, run forever, take all memory, block on a FIFO, or fail
// without a trace.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <stdexcept>

#include "engine_fixture.h"
#include "script/lua.h"

extern "C" FILTER_DLL* GetFilterTable();

namespace fs = std::filesystem;

namespace {

using ScriptLimitsTest = EngineFixture;

TEST_F(ScriptLimitsTest, CollectorErrorsWhileTheFrameIsSetUpAreScriptErrors) {
    // Garbage whose finaliser raises, collected at every step: before the
    // frame's tables were built under protection this ended the process.
    script(
        "collectgarbage('setpause', 0)\n"
        "function video_filter()\n"
        "  for i = 1, 50 do getmetatable(newproxy(true)).__gc = function() error('gc boom') end "
        "end\n"
        "end\n");
    for (int i = 0; i < 30; ++i) ASSERT_EQ(frame(), 1);
    EXPECT_NE(log().find("gc boom"), std::string::npos);
}

TEST_F(ScriptLimitsTest, ARunawayFrameOrMainChunkEndsAtTheBudget) {
    set_script_limits({0.2, 0});
    script("function video_filter() while true do end end");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(frame(), 1);
    EXPECT_EQ(frame(), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_NE(log().find("script took longer than 0.2 s in this frame"), std::string::npos);
    // Catching the error does not help: the next check ends the run again.
    script("while true do pcall(function() while true do end end) end");
    EXPECT_EQ(frame(), 1);
    EXPECT_NE(log().find("script took longer than"), std::string::npos);
}

TEST_F(ScriptLimitsTest, MemoryCapFailsTheAllocationAndTheStateLivesOn) {
    set_script_limits({0, 64u << 20});
    script(
        "n = 0\n"
        "function video_filter() n = n + 1 if n == 1 then local t = {} "
        "for i = 1, 1e9 do t[i] = i end end set_yc(0, 0, 0, n, 0, 0) end\n");
    EXPECT_EQ(frame(), 1);
    EXPECT_NE(log().find("not enough memory"), std::string::npos);
    EXPECT_EQ(frame(), 1);  // the table is garbage now; the script goes on
    EXPECT_EQ(edit[0].y, 2);
}

TEST_F(ScriptLimitsTest, BuffersCountAgainstTheMemoryCap) {
    // A frame buffer is 768 bytes here: a few hundred fit under a 256 KiB
    // cap, a thousand do not, and releasing one makes room for one again.
    set_script_limits({0, 256u << 10});
    script(
        "function video_filter()\n"
        "  local made, last = 0, nil\n"
        "  for i = 1, 1000 do\n"
        "    local ok, n = pcall(createbuf)\n"
        "    if not ok then error('stopped: ' .. n) end\n"
        "    made, last = made + 1, n\n"
        "  end\n"
        "end\n");
    EXPECT_EQ(frame(), 1);
    EXPECT_NE(log().find("stopped: メモリの確保に失敗しました"), std::string::npos);
    const int made = dynamic_buffer_count();
    EXPECT_GT(made, 5);
    EXPECT_LT(made, 1000);
    release_dynamic_buffer(10000);
    int number = 0;
    EXPECT_EQ(create_dynamic_buffer(kW * kH, &number), CreateResult::ok);
    EXPECT_EQ(create_dynamic_buffer(kW * kH, &number), CreateResult::no_memory);
}

TEST_F(ScriptLimitsTest, AFifoIsNotAScriptAndIsReportedOnce) {
    ASSERT_EQ(::mkfifo((dir / "filter.lua").c_str(), 0600), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(frame(), 1);  // would block in open()
    const std::string text = log();
    const std::size_t first = text.find("not a regular file");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(text.find("not a regular file", first + 1), std::string::npos);
    EXPECT_FALSE(engine_has_state());
}

TEST_F(ScriptLimitsTest, ErrorWithoutAValueIsLogged) {
    script("function video_filter() error() end");
    frame();
    EXPECT_NE(log().find("(error object is nil)"), std::string::npos);
}

TEST_F(ScriptLimitsTest, NoExceptionLeavesAnEntryPoint) {
    // An editor service that throws (or anything inside that does) must not
    // reach the caller: the call reports failure instead.
    exfunc.get_file_info = [](void*, FILE_INFO*) -> BOOL {
        throw std::runtime_error("host broke");
    };
    FILTER table = *GetFilterTable();
    table.exfunc = &exfunc;
    table.track = tracks;
    EXPECT_EQ(table.func_proc(&table, &fpip), FALSE);
}

TEST_F(ScriptLimitsTest, SandboxTakesAwayProcessControlBinaryChunksAndOutsideFiles) {
    set_script_limits({30, 256u << 20, true});
    std::ofstream(dir / "mod.lua") << "return {answer = 42}";
    // A name beside the folder that nothing else makes.
    const std::string escape = dir.filename().string() + "-escaped";
    script(
        "ESCAPE = '" + escape +
        "'\n"
        "function video_filter(info)\n"
        "  local r = {}\n"
        "  r[#r+1] = tostring(os.execute == nil and io.popen == nil and debug == nil\n"
        "                     and package.loadlib == nil and os.exit == nil)\n"
        "  r[#r+1] = tostring(loadstring(string.dump(function() end)) == nil)\n"
        "  r[#r+1] = tostring(loadstring('return 7')() == 7)\n"
        "  r[#r+1] = tostring(require('mod').answer == 42)\n"
        "  r[#r+1] = tostring(pcall(io.open, '/etc/passwd') == false)\n"
        "  r[#r+1] = tostring(pcall(io.open, info.script_path .. '../' .. ESCAPE, 'w') == false)\n"
        "  local f = io.open(info.script_path .. 'out.txt', 'w')\n"
        "  f:write(table.concat(r, ' ')) f:close()\n"
        "end\n");
    frame();
    EXPECT_EQ(log(), "");
    std::ifstream in(dir / "out.txt");
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "true true true true true true");
    EXPECT_FALSE(fs::exists(dir.parent_path() / escape));
}

TEST_F(ScriptLimitsTest, SandboxRefusesAPrecompiledScript) {
    set_script_limits({30, 256u << 20, true});
    // A chunk made by string.dump: what luac writes.
    lua_State* L = luaL_newstate();
    luaL_loadstring(L, "function video_filter() end");
    std::string bytes;
    lua_dump(
        L,
        [](lua_State*, const void* p, std::size_t n, void* out) {
            static_cast<std::string*>(out)->append(static_cast<const char*>(p), n);
            return 0;
        },
        &bytes);
    lua_close(L);
    script(bytes);
    frame();
    EXPECT_NE(log().find("precompiled chunks are not allowed"), std::string::npos);
}

}  // namespace
