// A frame buffer as the kernels see it: max_w x max_h pixels, row after row
// with no gap, pixel (x, y) at index y * max_w + x.  Every buffer of the
// plug-in, the host's two and its own, has this one shape.
#pragma once

#include <cstddef>

#include "platform/aviutl.h"

struct Frame {
    PIXEL_YC* pixels = nullptr;
    int max_w = 0;
    int max_h = 0;

    PIXEL_YC* row(int y) const { return pixels + static_cast<std::ptrdiff_t>(y) * max_w; }
    PIXEL_YC& at(int x, int y) const { return row(y)[x]; }
    bool contains(int x, int y) const { return x >= 0 && x < max_w && y >= 0 && y < max_h; }
    std::size_t pixel_count() const {
        return static_cast<std::size_t>(max_w) * static_cast<std::size_t>(max_h);
    }
};
