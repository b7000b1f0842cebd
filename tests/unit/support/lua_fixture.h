// A Lua state wired to a fake host frame, for testing bindings without the
// host program: buffers 0..19 exist (0 and 1 are the fake host frames), the
// whole library is registered and the records are published.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "buffers/frame.h"
#include "buffers/store.h"
#include "script/engine.h"
#include "script/filter_info.h"
#include "script/library.h"
#include "script/lua.h"

class LuaFixture : public ::testing::Test {
protected:
    static constexpr int kWidth = 64;
    static constexpr int kHeight = 48;

    LuaFixture() : edit(kWidth * kHeight), temp(kWidth * kHeight) {
        for (int k = 0; k < 12; ++k) tracks[k] = 0;
        tracks[1] = 2;
        fp.track = tracks;
        fp.check = checks;
        fpip.ycp_edit = edit.data();
        fpip.ycp_temp = temp.data();
        fpip.w = fpip.max_w = kWidth;
        fpip.h = fpip.max_h = kHeight;
        free_slots();  // the slot block is sized by the first frame it sees
        release_all_dynamic();
        setup_slots(&fpip);
        fill_filter_info(&fp, engine_filter_info());
        L = luaL_newstate();
        luaL_openlibs(L);
        register_library(L);
        publish_records(L, &fp, &fpip);
    }

    ~LuaFixture() override {
        lua_close(L);
        release_all_dynamic();
        free_slots();
    }

    // Runs a chunk; returns "" on success, else the error text.
    std::string run(const std::string& code) {
        if (luaL_loadstring(L, code.c_str()) != 0 || lua_pcall(L, 0, 0, 0) != 0) {
            std::string error = lua_tostring(L, -1) ? lua_tostring(L, -1) : "(non-string error)";
            lua_pop(L, 1);
            return error;
        }
        return "";
    }

    // Evaluates an expression that gives a number.
    double number(const std::string& expression) {
        const std::string code = "return " + expression;
        if (luaL_loadstring(L, code.c_str()) != 0 || lua_pcall(L, 0, 1, 0) != 0) {
            ADD_FAILURE() << lua_tostring(L, -1);
            lua_pop(L, 1);
            return 0;
        }
        const double v = lua_tonumber(L, -1);
        lua_pop(L, 1);
        return v;
    }

    Frame frame(int n) { return {get_buffer(n), fpip.max_w, fpip.max_h}; }

    int tracks[12];
    int checks[1] = {0};
    std::vector<PIXEL_YC> edit, temp;
    FILTER fp{};
    FILTER_PROC_INFO fpip{};
    lua_State* L = nullptr;
};
