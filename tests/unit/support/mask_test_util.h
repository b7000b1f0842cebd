// Small owned frames for the mask and compositing tests.
#pragma once

#include <vector>

#include "buffers/frame.h"

struct TestFrame {
    std::vector<PIXEL_YC> pixels;
    Frame frame;

    TestFrame(int w, int h, PIXEL_YC fill = {0, 0, 0})
        : pixels(static_cast<std::size_t>(w) * h, fill), frame{pixels.data(), w, h} {}

    PIXEL_YC& at(int x, int y) { return frame.at(x, y); }
    void set(int x, int y, int Y, int cb, int cr) {
        at(x, y) = {static_cast<std::int16_t>(Y), static_cast<std::int16_t>(cb),
                    static_cast<std::int16_t>(cr)};
    }
    int y(int x, int yy) { return frame.at(x, yy).y; }
};

// A frame of varied colours around the nominal ranges (deterministic).
inline TestFrame varied_frame(int w, int h, unsigned seed = 7) {
    TestFrame f(w, h);
    unsigned s = seed;
    auto next = [&s](int range) {
        s = s * 1664525u + 1013904223u;
        return static_cast<int>((s >> 8) % static_cast<unsigned>(range));
    };
    for (auto& p : f.pixels)
        p = {static_cast<std::int16_t>(next(4400) - 150),
             static_cast<std::int16_t>(next(4200) - 2100),
             static_cast<std::int16_t>(next(4200) - 2100)};
    return f;
}

// True when the y components of two equally sized frames agree everywhere.
inline bool same_grades(const TestFrame& a, const TestFrame& b) {
    for (std::size_t k = 0; k < a.pixels.size(); ++k)
        if (a.pixels[k].y != b.pixels[k].y) return false;
    return true;
}
