// A LuaFixture with helpers for mask tests: painting buffers, comparing
// them, and setting the thread-count track the toolkit filters read.
#pragma once

#include <cstdint>
#include <random>

#include "lua_fixture.h"

class MorphologyLabelFixture : public LuaFixture {
protected:
    // Sets the thread-count track and refreshes the record from it.
    void set_threads(int n) {
        tracks[1] = n;
        fill_filter_info(&fp, engine_filter_info());
    }

    // Buffer n: y from f(x, y), cb = 11, cr = -22 everywhere.
    template <class F>
    void paint(int n, F f) {
        const Frame fr = frame(n);
        for (int y = 0; y < fr.max_h; ++y)
            for (int x = 0; x < fr.max_w; ++x) fr.at(x, y) = {static_cast<short>(f(x, y)), 11, -22};
    }

    bool same_pixels(int a, int b) {
        const Frame fa = frame(a), fb = frame(b);
        for (std::size_t i = 0; i < fa.pixel_count(); ++i)
            if (fa.pixels[i].y != fb.pixels[i].y || fa.pixels[i].cb != fb.pixels[i].cb ||
                fa.pixels[i].cr != fb.pixels[i].cr)
                return false;
        return true;
    }
};
