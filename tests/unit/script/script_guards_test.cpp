// The ways a script could crash the host or get round its frame budget,
// each closed: patterns that nest or backtrack without end, an xpcall
// handler, finalisers (during a frame and while the state closes), long
// texts, standard input and the sandbox's edges.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine_fixture.h"
#include "script/budget_guards.h"
#include "script/lua.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

class ScriptGuards : public EngineFixture {
protected:
    // Runs frames until `seconds` have passed or `frames` ran; the time taken.
    double timed_frames(int frames) {
        const auto start = Clock::now();
        for (int i = 0; i < frames; ++i) EXPECT_EQ(frame(), 1);
        return std::chrono::duration<double>(Clock::now() - start).count();
    }
    // The script's own report, written to out.txt.
    std::string report() { return read("out.txt"); }
    static constexpr const char* kReport =
        "local function report(...) local f = io.open(SCRIPT .. 'out.txt', 'w') "
        "f:write(table.concat({...}, ' ')) f:close() end\n";
    void script_with_report(const std::string& body) {
        script("SCRIPT = [[" + dir.string() + "/]]\n" + kReport + body);
    }
};

TEST_F(ScriptGuards, PatternsThatNestOrBacktrackEndAsScriptErrors) {
    set_script_limits({0.3, 0});
    // One recursion per item of the pattern used to overflow the stack.
    script_with_report(
        "function video_filter()\n"
        "  local ok, e = pcall(string.find, string.rep('a', 1e6), string.rep('a?', 1e6))\n"
        "  report(tostring(ok), e)\n"
        "end\n");
    EXPECT_EQ(frame(), 1);
    EXPECT_EQ(report(), "false pattern too complex");
    // Backtracking inside the matcher, where no hook fires, meets the
    // budget; catching the error does not help.
    script(
        "function video_filter()\n"
        "  pcall(string.find, string.rep('a', 200000), '.-.-.-.-b')\n"
        "  while true do end\n"
        "end\n");
    EXPECT_LT(timed_frames(2), 3.0);
    EXPECT_NE(log().find("script took longer than 0.3 s in this frame"), std::string::npos);
    // gsub's replacement function runs under the budget too, and string
    // methods are the guarded functions.
    script("function video_filter() ('x'):rep(10):gsub('x', function() while true do end end) end");
    EXPECT_LT(timed_frames(1), 2.0);
    EXPECT_NE(log().find("script took longer than"), std::string::npos);
}

TEST_F(ScriptGuards, AnXpcallHandlerIsSkippedOnceTheBudgetIsSpent) {
    set_script_limits({0.3, 0});
    script(
        "function video_filter()\n"
        "  xpcall(function() while true do end end, function() while true do end end)\n"
        "end\n");
    EXPECT_LT(timed_frames(2), 3.0);
    EXPECT_NE(log().find("script took longer than 0.3 s"), std::string::npos);
    // Before the budget is spent a handler works as ever.
    script_with_report(
        "function video_filter()\n"
        "  report(tostring(select(2, xpcall(function() error('x', 0) end, "
        "function(e) return e .. '!' end))))\n"
        "end\n");
    EXPECT_EQ(frame(), 1);
    EXPECT_EQ(report(), "x!");
}

TEST_F(ScriptGuards, FinalisersThatLoopEndAtTheBudgetAlsoWhenTheStateCloses) {
    set_script_limits({0.3, 0});
    script(
        "keep = newproxy(true)\n"
        "getmetatable(keep).__gc = function() while true do end end\n"
        "function video_filter()\n"
        "  local p = newproxy(true)\n"
        "  getmetatable(p).__gc = function() while true do end end\n"
        "  p = nil collectgarbage()\n"
        "end\n");
    EXPECT_LT(timed_frames(2), 3.0);
    EXPECT_NE(log().find("script took longer than 0.3 s"), std::string::npos);
    // `keep` is finalised when the state closes: it hung the host at exit.
    const auto start = Clock::now();
    close_engine();
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 2.0);
}

TEST_F(ScriptGuards, NativeLoopsOfTheLibraryStopAtTheBudget) {
    set_script_limits({0.3, 0});
    // Two billion empty copies, and sorts (quadratic on some orders) ran on
    // in native code without a hook: each sort below is a thousand times
    // the budget's hook interval of instructions.
    script("function video_filter() string.rep('', 2e9) end");
    EXPECT_LT(timed_frames(1), 2.0);
    script(
        "function video_filter()\n"
        "  local t = {} for i = 1, 200000 do t[i] = (i * 7919) % 200003 end\n"
        "  for round = 1, 1e9 do table.sort(t) end\n"
        "end\n");
    EXPECT_LT(timed_frames(1), 2.0);
    EXPECT_NE(log().find("script took longer than 0.3 s"), std::string::npos);
}

TEST(NativeLoopGuards, GiveTheLanguagesOwnResults) {
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    ASSERT_EQ(luaL_dostring(L, "own = {sort = table.sort, rep = string.rep}"), 0);
    ASSERT_EQ(lua_cpcall(
                  L, [](lua_State* S) { return install_budget_guards(S), 0; }, nullptr),
              0);
    ASSERT_EQ(
        luaL_dostring(
            L,
            "guarded = {sort = table.sort, rep = string.rep}\n"
            "function outcome(impl)\n"
            "  local r = {}\n"
            "  local function try(f, ...) local ok, e = pcall(f, ...) "
            "r[#r + 1] = tostring(ok) .. ' ' .. tostring(e) end\n"
            "  local t = {5, 3, 'x', 1} try(impl.sort, t)\n"
            "  local u = {5, 1, 4, 2, 3, 9, 0} impl.sort(u) r[#r + 1] = table.concat(u, ',')\n"
            "  local v = {5, 1, 4} impl.sort(v, function(a, b) return a > b end)\n"
            "  r[#r + 1] = table.concat(v, ',')\n"
            "  try(impl.sort, {}, 1) try(impl.sort, nil) try(impl.sort, {3, 1, 2}, math.max)\n"
            "  r[#r + 1] = impl.rep('ab', 3) .. impl.rep('x', 0) .. impl.rep('', 5) .. "
            "impl.rep('y', -2)\n"
            "  try(impl.rep) try(impl.rep, 'a', 'b')\n"
            "  return table.concat(r, '|')\n"
            "end\n"
            "same = outcome(own) == outcome(guarded)\n"
            "text = outcome(guarded)"),
        0);
    lua_getglobal(L, "same");
    lua_getglobal(L, "text");
    EXPECT_TRUE(lua_toboolean(L, -2)) << lua_tostring(L, -1);
    lua_close(L);
}

TEST_F(ScriptGuards, ProxiesKeepTheirMetamethodsAndTheirFinaliser) {
    script_with_report(
        "function video_filter()\n"
        "  local seen = {}\n"
        "  local p = newproxy(true)\n"
        "  local m = getmetatable(p)\n"
        "  m.__index = function(_, k) return k .. '!' end\n"
        "  m.__len = function() return 7 end\n"
        "  m.__tostring = function() return 'proxy' end\n"
        "  m.__gc = function(u) seen[#seen + 1] = (u == p) end\n"
        "  local q = newproxy(p)\n"
        "  local r = {p.a, #p, tostring(p), tostring(getmetatable(q) == m),\n"
        "             tostring(type(m.__gc) == 'function'), tostring(rawget(m, '__gc') == "
        "m.__gc)}\n"
        "  rawset(m, '__gc', function() seen[#seen + 1] = 'raw' end)\n"
        "  p, q = nil, nil\n"
        "  collectgarbage() collectgarbage()\n"
        "  r[#r + 1] = tostring(#seen) .. tostring(seen[1])\n"
        "  r[#r + 1] = tostring(pcall(newproxy, {}))\n"
        "  report(unpack(r))\n"
        "end\n");
    EXPECT_EQ(frame(), 1);
    EXPECT_EQ(log(), "");
    EXPECT_EQ(report(), "a! 7 proxy true true true 2raw false");
}

TEST_F(ScriptGuards, AFinaliserErrorIsLoggedAndFileHandlesTakeNoFinaliser) {
    script_with_report(
        "function video_filter()\n"
        "  getmetatable(newproxy(true)).__gc = function() error('gc boom', 0) end\n"
        "  collectgarbage()\n"
        "  report(tostring(getmetatable(io.stdout)), tostring(io.type(io.stdout)))\n"
        "end\n");
    EXPECT_EQ(frame(), 1);
    EXPECT_NE(log().find("gc boom (in a finaliser)"), std::string::npos);
    EXPECT_EQ(report(), "false file");
}

TEST_F(ScriptGuards, LongErrorsAreCutAndTheLogIsRotated) {
    script("function video_filter() error(string.rep('\\226\\130\\172', 100000), 0) end");
    EXPECT_EQ(frame(), 1);
    const std::string text = log();
    // 4 KiB with the mark, cut on a character's boundary: 1362 euro signs.
    EXPECT_EQ(text, std::string(1362 * 3, '\0').replace(0, std::string::npos, [] {
        std::string e;
        for (int i = 0; i < 1362; ++i) e += "\xe2\x82\xac";
        return e;
    }()) + "\xe2\x80\xa6(cut)\n");
    EXPECT_LE(text.size(), 4097u);
    // About 260 such lines fill the log to 1 MiB: then it starts afresh
    // and the full one is kept beside it.
    for (int i = 0; i < 300; ++i) frame();
    EXPECT_LE(fs::file_size(dir / "lua_err.txt"), 1u << 20);
    EXPECT_GT(fs::file_size(dir / "lua_err.txt.1"), (1u << 20) - 5000);
    EXPECT_LE(fs::file_size(dir / "lua_err.txt.1"), 1u << 20);
}

TEST_F(ScriptGuards, TheSandboxClosesStandardInputTheEnvironmentAndOtherFilesNames) {
    set_script_limits({30, 256u << 20, true});
    const fs::path outside = dir.parent_path() / (dir.filename().string() + "-outside.txt");
    std::ofstream(outside) << "secret";
    fs::create_hard_link(outside, dir / "link.txt");
    std::ofstream(dir / "data.txt") << "one\ntwo\n";
    script("#!/usr/bin/env lua\nreturn 5\n", "shebang.lua");
    script_with_report(
        "function video_filter()\n"
        "  local r = {}\n"
        "  local function refused(f, ...) local ok, e = pcall(f, ...) "
        "return tostring(not ok and e:find('sandbox') ~= nil) end\n"
        "  r[#r + 1] = refused(io.read)\n"
        "  r[#r + 1] = refused(io.lines)\n"
        "  r[#r + 1] = refused(io.input)\n"
        "  r[#r + 1] = tostring(io.stdin == nil and io.tmpfile == nil and newproxy == nil)\n"
        "  r[#r + 1] = tostring(os.getenv('HOME') == nil and os.getenv('PATH') == nil)\n"
        "  r[#r + 1] = refused(io.open, SCRIPT .. 'link.txt')\n"
        "  r[#r + 1] = refused(io.lines, SCRIPT .. 'link.txt')\n"
        "  io.input(SCRIPT .. 'data.txt')\n"
        "  r[#r + 1] = io.read('*l') .. '+' .. io.lines()()\n"
        "  r[#r + 1] = tostring(loadfile(SCRIPT .. 'shebang.lua')())\n"
        "  report(unpack(r))\n"
        "end\n");
    EXPECT_EQ(frame(), 1);
    EXPECT_EQ(log(), "");
    EXPECT_EQ(report(), "true true true true true true true one+two 5");
    fs::remove(outside);
}

TEST_F(ScriptGuards, ASkippedShebangLineKeepsTheLineNumbers) {
    set_script_limits({30, 256u << 20, true});
    script("#!/usr/bin/env lua\nfunction video_filter()\n  error('here')\nend\n");
    EXPECT_EQ(frame(), 1);
    EXPECT_NE(log().find("filter.lua:3: here"), std::string::npos) << log();
}

}  // namespace
