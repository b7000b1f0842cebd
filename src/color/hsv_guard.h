// Error bounds of the single-precision HSV kernels (hsv_float_simd-inl.h
// derives the first three), and what they give for a call's gains and
// offsets.  A float result is used only where it lies farther than its
// bound from every cut of the double routine (a truncation, the grey test
// S' = 0); elsewhere the pixel goes through the double routine.  So the
// fast result is the double result, bit for bit, whatever the bounds cost
// in speed.
#pragma once

#include <cmath>

// Largest distance of the float H (tenths), S, V from the double routine's,
// for every 16-bit pixel not flagged risky.
constexpr double kHueError = 3.2e-4 + 1e-6;
constexpr double kSaturationError = 2.5e-4 + 1e-6;
constexpr double kValueError = 4.9e-4 + 1e-6;

// One rounding of single precision, relative (2^-24).
constexpr double kFloatRounding = 1.0 / 16777216;

// Bound of C' = (k C) / 4096 + o from C within e of the double's C (at most
// `top`): the gain carries e, and the product and the sum each round once,
// relative to at most |C'|max = |k| top / 4096 + |o|.
inline double adjusted_error(double k, double o, double e, double top) {
    const double most = std::fabs(k) * top / 4096 + std::fabs(o);
    return std::fabs(k) / 4096 * e + 2 * most * kFloatRounding;
}

// The cuts of color_hsv for gains k (trunc(gain * 4096)) and offsets o.
struct HsvCuts {
    float k[3], o[3];
    float sector;  // k = trunc(0.6 H'): float 0.6 H' within this of the double's
    float grey;    // |S'| within this of the double's (S' = 0 means grey)
    float output;  // Y, Cb, Cr within this of the double's
    bool usable;   // the bounds are small enough for the float path to pay
};

inline HsvCuts hsv_cuts(const double k[3], const double o[3]) {
    HsvCuts c{};
    const double eh = adjusted_error(k[0], o[0], kHueError, 3600);
    const double es = adjusted_error(k[1], o[1], kSaturationError, 4096);
    const double ev = adjusted_error(k[2], o[2], kValueError, 4096);
    const double most_h = std::fabs(k[0]) * 3600 / 4096 + std::fabs(o[0]);
    const double most_v = std::fabs(k[2]) + std::fabs(o[2]);
    // 0.6f and the product round once each; the double's own k formula
    // and wrap are within 1e-12.
    const double sector = 0.6 * eh + 1.2 * most_h * kFloatRounding + 1e-9;
    // Each output component is V' times 1 - a, a = S' F / (360 * 4096) (F
    // whole): a within 3u + |dS'| / 4096, 1 - a and the product one
    // rounding each; then the weights (|sum| = 1 for each of Y, Cb, Cr)
    // add at most 4 roundings of 4096.  A grey's V' is not clamped: its
    // size replaces 4096.
    const double output = ev + es + (most_v > 4096 ? most_v : 4096) * 9.01 * kFloatRounding + 1e-6;
    for (int i = 0; i < 3; ++i) {
        c.k[i] = static_cast<float>(k[i]);
        c.o[i] = static_cast<float>(o[i]);
    }
    c.sector = static_cast<float>(sector);
    c.grey = static_cast<float>(es);
    c.output = static_cast<float>(output);
    // Whole gains and offsets of float size (exact as floats), and cuts
    // narrow enough that few pixels fall back (the grey bound, a part of
    // the output bound, is then below 1: no whole S' but 0 lies within it).
    bool whole = true;
    for (int i = 0; i < 3; ++i)
        whole = whole && std::fabs(k[i]) < (1 << 20) && std::fabs(o[i]) < (1 << 20);
    c.usable = whole && sector < 0.02 && output < 0.02;
    return c;
}
