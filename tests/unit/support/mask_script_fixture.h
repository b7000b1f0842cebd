// LuaFixture with the helpers the mask and compositing tests share.
#pragma once

#include "lua_fixture.h"

class MaskScript : public LuaFixture {
protected:
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
