// When the engine (re)loads the script, what the script sees, and how its
// errors reach the log: run_frame driven directly with a fake editor.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "buffers/store.h"
#include "script/engine.h"

namespace fs = std::filesystem;

namespace {

std::int64_t fake_now = 1000;
std::int64_t fake_clock() { return fake_now; }
std::string edited_file;

BOOL fake_file_info(void*, FILE_INFO* fi) {
    fi->name = edited_file.c_str();
    return TRUE;
}

class Engine : public ::testing::Test {
protected:
    Engine() : edit(kW * kH), temp(kW * kH) {
        dir = fs::temp_directory_path() /
              ("quorvel-engine-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        edited_file = (dir / "movie.avi").string();
        exfunc.get_file_info = fake_file_info;
        fp.exfunc = &exfunc;
        fp.track = tracks;
        fpip.ycp_edit = edit.data();
        fpip.ycp_temp = temp.data();
        fpip.w = fpip.max_w = kW;
        fpip.h = fpip.max_h = kH;
        set_engine_clock(fake_clock);
        fake_now = 1000;
    }
    ~Engine() override {
        close_engine();
        free_slots();
        release_all_dynamic();
        set_engine_clock(nullptr);
        fs::remove_all(dir);
    }

    // A script whose main chunk records `tag` in loads.txt.
    void save(const std::string& name, const std::string& tag, const std::string& body = "") {
        std::ofstream(dir / name) << "local f = io.open([==[" << (dir / "loads.txt").string()
                                  << "]==], 'a') f:write('" << tag << "\\n') f:close()\n"
                                  << body;
    }
    void set_time(const std::string& name, int seconds) {
        fs::last_write_time(dir / name, fs::file_time_type(std::chrono::seconds(seconds)));
    }
    std::string read(const std::string& name) {
        std::ifstream in(dir / name);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    int frame() { return run_frame(&fp, &fpip); }

    static constexpr int kW = 32, kH = 24;
    fs::path dir;
    int tracks[12] = {0, 2, 0, 0, 0, 0, 0, 0, 0, 2048, 2048, 2048};
    std::vector<PIXEL_YC> edit, temp;
    EXFUNC exfunc{};
    FILTER fp{};
    FILTER_PROC_INFO fpip{};
};

TEST_F(Engine, LoadsOnceAndReloadsOnlyWhenTheFileTimeChanges) {
    save("filter.lua", "v1");
    set_time("filter.lua", 100);
    EXPECT_EQ(frame(), 1);
    EXPECT_EQ(read("loads.txt"), "v1\n");

    // Same second: the file is not even looked at.
    save("filter.lua", "v2");
    set_time("filter.lua", 200);
    EXPECT_EQ(frame(), 1);
    EXPECT_EQ(read("loads.txt"), "v1\n");

    // Next second: the new time is seen and the script reloaded.
    ++fake_now;
    EXPECT_EQ(frame(), 1);
    EXPECT_EQ(read("loads.txt"), "v1\nv2\n");

    // Later seconds with an unchanged file do not reload.
    ++fake_now;
    EXPECT_EQ(frame(), 1);
    EXPECT_EQ(read("loads.txt"), "v1\nv2\n");
}

TEST_F(Engine, ScriptNumberChoosesTheFileAndIsCheckedAtOnce) {
    EXPECT_EQ(script_file_name(0), "filter.lua");
    EXPECT_EQ(script_file_name(3), "filter3.lua");
    EXPECT_EQ(script_file_name(10), "filter10.lua");
    save("filter.lua", "zero");
    set_time("filter.lua", 100);
    save("filter10.lua", "ten");
    set_time("filter10.lua", 300);
    save("filter2.lua", "two");
    set_time("filter2.lua", 300);
    frame();
    tracks[0] = 10;  // same second, new number: checked at once
    frame();
    EXPECT_EQ(read("loads.txt"), "zero\nten\n");
    // A file with the same write time as the last load is not loaded.
    tracks[0] = 2;
    frame();
    EXPECT_EQ(read("loads.txt"), "zero\nten\n");
}

TEST_F(Engine, MissingScriptKeepsTheCurrentState) {
    save("filter.lua", "v1", "function video_filter() createbuf() end");
    set_time("filter.lua", 100);
    frame();
    EXPECT_TRUE(engine_has_state());
    fs::remove(dir / "filter.lua");
    ++fake_now;
    frame();
    EXPECT_TRUE(engine_has_state());
    EXPECT_EQ(dynamic_buffer_count(), 2);  // the old script still ran
}

TEST_F(Engine, ReloadEmptiesTheLogAndReleasesDynamicBuffers) {
    save("filter.lua", "v1", "function video_filter() createbuf() error('first') end");
    set_time("filter.lua", 100);
    frame();
    EXPECT_NE(read("lua_err.txt").find("first"), std::string::npos);
    EXPECT_EQ(dynamic_buffer_count(), 1);
    save("filter.lua", "v2", "function video_filter() end");
    set_time("filter.lua", 200);
    ++fake_now;
    frame();
    EXPECT_FALSE(fs::exists(dir / "lua_err.txt"));
    EXPECT_EQ(dynamic_buffer_count(), 0);
}

TEST_F(Engine, LogsMissingVideoFilterEveryFrameAndNonStringErrors) {
    save("filter.lua", "v1", "x = 1");
    set_time("filter.lua", 100);
    frame();
    frame();
    EXPECT_EQ(read("lua_err.txt"),
              "video_filter()が定義されていません\nvideo_filter()が定義されていません\n");
    save("filter.lua", "v2", "function video_filter() error({}) end");
    set_time("filter.lua", 200);
    ++fake_now;
    frame();
    EXPECT_EQ(read("lua_err.txt"), "(error object is not a string)\n");
}

TEST_F(Engine, SyntaxErrorIsLoggedAndLeavesAStateWithoutVideoFilter) {
    save("filter.lua", "v1", "function video_filter(\n");
    set_time("filter.lua", 100);
    EXPECT_EQ(frame(), 1);
    const std::string log = read("lua_err.txt");
    EXPECT_NE(log.find("filter.lua:3:"), std::string::npos) << log;
    EXPECT_NE(log.find("video_filter()が定義されていません"), std::string::npos);
    EXPECT_TRUE(engine_has_state());
}

TEST_F(Engine, FolderNamesThatWouldBreakALuaStringStillWork) {
    const fs::path odd = dir / "a]]b'\"c";
    fs::create_directories(odd);
    edited_file = (odd / "movie.avi").string();
    std::ofstream(odd / "mod.lua") << "return { answer = 42 }\n";
    std::ofstream(odd / "filter.lua")
        << "local m = require('mod')\n"
           "function video_filter(info) if m.answer ~= 42 or info.script_path ~= [==["
        << odd.string() << "/]==] then error('wrong module path') end end\n";
    frame();
    EXPECT_FALSE(fs::exists(odd / "lua_err.txt")) << read("a]]b'\"c/lua_err.txt");
}

TEST_F(Engine, DisplayTrackCopiesTheChosenSlotOnlyAfterASuccessfulCall) {
    save("filter.lua", "v1",
         "function video_filter(info, vars) if vars.a == 1 then error('stop') end end");
    set_time("filter.lua", 100);
    frame();  // creates the slots
    get_buffer(7)[5].y = 1234;
    tracks[2] = 7;
    frame();
    EXPECT_EQ(edit[5].y, 1234);
    edit[5].y = 0;
    tracks[3] = 1;  // the script now fails: no display copy
    frame();
    EXPECT_EQ(edit[5].y, 0);
}

TEST_F(Engine, StackStaysBalancedAcrossManyFrames) {
    save("filter.lua", "v1", "function video_filter() error('again') end");
    set_time("filter.lua", 100);
    // Thousands of failing frames must not grow the Lua stack: a leak of one
    // slot per frame would overflow it (LUAI_MAXCSTACK is 8000).
    for (int i = 0; i < 10000; ++i) ASSERT_EQ(frame(), 1);
}

}  // namespace
