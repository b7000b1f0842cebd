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
