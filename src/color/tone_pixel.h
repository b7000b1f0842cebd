// The per-pixel rules of normalize, binarize and the posterize family.  The
// row loops of levels.cpp and posterize.cpp run them on the pixels their
// vector code does not cover, and they are the reference that code is held
// to.
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

// Quantisation to `levels` levels over 0..range: (v + half) / step * step
// with truncating division, limited to 0..range (level_step in tone.h).
struct Quantiser {
    int step, half, top;
    Quantiser(int step_, int range) : step(step_), half(step_ / 2), top(range) {}
    int operator()(int v) const {
        const long long q = (static_cast<long long>(v) + half) / step * step;
        return static_cast<int>(q < 0 ? 0 : (q > top ? top : q));
    }
    // For a real value: trunc(v + half) / step * step, the half step added
    // before truncation.
    double real(double v) const {
        const long long t = trunc_to_int(v + half);
        const long long r = t / step * step;
        return static_cast<double>(r < 0 ? 0 : (r > top ? top : r));
    }
};

struct Posterize {
    Quantiser q[3];
};

inline void store_yc(PIXEL_YC& p, double r, double g, double b) {
    const Triple yc = rgb_to_yc(r, g, b);
    p.y = to_component(yc.a);
    p.cb = to_component(yc.b);
    p.cr = to_component(yc.c);
}

inline void posterize_yc_pixel(PIXEL_YC& p, const Posterize& q) {
    p.y = low16(q.q[0](p.y));
    p.cb = low16(q.q[1](p.cb + 2048) - 2048);
    p.cr = low16(q.q[2](p.cr + 2048) - 2048);
}

inline void posterize_rgb_pixel(PIXEL_YC& p, const Posterize& q) {
    const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
    store_yc(p, q.q[0](trunc_to_int(rgb.a)), q.q[1](trunc_to_int(rgb.b)),
             q.q[2](trunc_to_int(rgb.c)));
}

inline void posterize_hsv_pixel(PIXEL_YC& p, const Posterize& q) {
    const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
    const Triple hsv = rgb_to_hsv(rgb.a, rgb.b, rgb.c);
    const Triple out = hsv_to_rgb(q.q[0].real(hsv.a), q.q[1].real(hsv.b), q.q[2].real(hsv.c));
    store_yc(p, out.a, out.b, out.c);
}
