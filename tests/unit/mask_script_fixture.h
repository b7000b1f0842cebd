// LuaFixture with the fixture's own LUA_FILTER_INFO published, so that
// buffer numbers resolve through its get_buffer.  (The base fixture publishes
// the engine's record, whose get_buffer is only set by a real frame.)
#pragma once

#include "lua_fixture.h"

class MaskScript : public LuaFixture {
protected:
    MaskScript() {
        lua_getfield(L, LUA_REGISTRYINDEX, "LUA_FILTER_INFO");
        lua_pushlightuserdata(L, &info);
        lua_setfield(L, -2, "__lua_filter_info__");
        lua_pop(L, 1);
    }

    // Sets every pixel of buffer n.
    void paint(int n, int Y, int cb, int cr) {
        const Frame f = frame(n);
        for (std::size_t k = 0; k < f.pixel_count(); ++k)
            f.pixels[k] = {static_cast<std::int16_t>(Y), static_cast<std::int16_t>(cb),
                           static_cast<std::int16_t>(cr)};
    }

    bool count_error(const std::string& call) {
        return run(call).find("wrong number of argument") != std::string::npos;
    }
};
