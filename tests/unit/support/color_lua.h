// Helpers shared by the colour tests: a Lua fixture that can return several
// values of an expression, and pixel helpers for the fake frames.
#pragma once

#include <array>
#include <string>

#include "lua_fixture.h"

class ColorLua : public LuaFixture {
protected:
    // Evaluates `expression` and returns its first three values as numbers
    // (nil reads as the sentinel 99999 so that tests can tell it apart).
    std::array<double, 3> three(const std::string& expression) {
        std::array<double, 3> out{0, 0, 0};
        const std::string code = "return " + expression;
        if (luaL_loadstring(L, code.c_str()) != 0 || lua_pcall(L, 0, 3, 0) != 0) {
            ADD_FAILURE() << lua_tostring(L, -1);
            lua_pop(L, 1);
            return out;
        }
        for (int k = 0; k < 3; ++k) out[k] = lua_isnil(L, k - 3) ? 99999 : lua_tonumber(L, k - 3);
        lua_pop(L, 3);
        return out;
    }

    void put(int buffer, int x, int y, int Y, int Cb, int Cr) {
        PIXEL_YC& p = frame(buffer).at(x, y);
        p.y = static_cast<short>(Y), p.cb = static_cast<short>(Cb), p.cr = static_cast<short>(Cr);
    }

    std::array<int, 3> pixel(int buffer, int x, int y) {
        const PIXEL_YC& p = frame(buffer).at(x, y);
        return {p.y, p.cb, p.cr};
    }

    // Fills a whole buffer with one colour.
    void fill(int buffer, int Y, int Cb, int Cr) {
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) put(buffer, x, y, Y, Cb, Cr);
    }
};

using Yc = std::array<int, 3>;
using D3 = std::array<double, 3>;
