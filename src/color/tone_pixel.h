// The per-pixel rules of normalize and binarize.  The row loops of
// levels.cpp run them on the pixels their vector code does not cover, and
// they are the reference that code is held to.
#pragma once

#include "buffers/numeric.h"
#include "color/convert.h"

// Into the RGB cube per component, then back: pixels inside it come back
// through the truncating conversions, at most one unit lower.
inline void normalize_pixel(PIXEL_YC& p) {
    const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
    auto cube = [](double v) {
        const int t = trunc_to_int(v);
        return t > 4096 ? 4096 : (t <= 0 ? 0 : t);
    };
    auto clamp = [](int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); };
    const Triple yc = rgb_to_yc(cube(rgb.a), cube(rgb.b), cube(rgb.c));
    p.y = static_cast<std::int16_t>(clamp(trunc_to_int(yc.a), 0, 4096));
    p.cb = static_cast<std::int16_t>(clamp(trunc_to_int(yc.b), -2048, 2048));
    p.cr = static_cast<std::int16_t>(clamp(trunc_to_int(yc.c), -2048, 2048));
}

inline void binarize_pixel(PIXEL_YC& p, int threshold) {
    p.y = p.y >= threshold ? 4096 : 0;
    p.cb = 0;
    p.cr = 0;
}
