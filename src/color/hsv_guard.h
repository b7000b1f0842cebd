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

// The cuts of color_hsv_m (hsv_unit_float_simd-inl.h derives the bounds)
// for gains k (trunc(gain * 4096)) and offsets oh (degrees), os (S units)
// and ov (V units), as color_hsv_unit_pixel takes them.
//
// The float lanes work in sixths of a degree for the hue (H6 = 6 H, the
// unit of the truncation k = trunc(6 H')) and on the output scale for V
// (vO = 4080 V', as the double multiplies by 255, then 16).
struct HsvUnitCuts {
    float gain[3];   // k / 4096, exact
    float hue_offset;  // 6 oh, sixths
    float s_offset;    // os, exact
    float v_offset;    // 4080 ov
    float v_scale;     // gain 3 / 500: V on the output scale from R, G, B in 1/500
    float sector;      // |float H6' - double 6 H'| at most this
    // Y, Cb, Cr within e = out_c + out_v |vO| + out_vs |vO S'| + out_s |S'|
    // of the double's (float |vO|, |vO S'|, |S'| of the lane); [1] where
    // the lanes' multiply-adds round once (fused), [0] where twice.
    float out_c[2], out_v[2], out_vs[2], out_s[2];
    bool grey_exact;  // os = 0: a grey's S' is 0 in both, and its hue does not matter
    bool usable;      // the bounds hold (and are narrow enough to pay)
};

inline HsvUnitCuts hsv_unit_cuts(const double k[3], double oh, double os, double ov) {
    constexpr double u = kFloatRounding;
    HsvUnitCuts c{};
    for (int i = 0; i < 3; ++i) c.gain[i] = static_cast<float>(k[i] / 4096);
    const double g1 = std::fabs(k[0]) / 4096;
    const double oh6 = 6 * oh;
    const double ov_out = ov * 4080;
    c.hue_offset = static_cast<float>(oh6);
    c.s_offset = static_cast<float>(os);
    c.v_offset = static_cast<float>(ov_out);
    c.v_scale = static_cast<float>(k[2] / 4096 / 500);
    // H6 within 2880 u + 1e-6 (the quotient 720 u, the base or the turn
    // added 2160 u, the double's own error below 1e-6); the gain carries
    // it, its product and the offset's sum round once each, the offset
    // itself half a unit; the double's own steps (the wrap, 6 H') are
    // within 1e-9 of their size.
    const double most = g1 * 2160 + std::fabs(oh6);
    c.sector = static_cast<float>(g1 * (2880 * u + 1e-6) + u * (g1 * 2160 + most + 0.5 * std::fabs(oh6)) +
                                  1e-9 * (1 + most));
    // vO within u (a |vO| + b |ov_out|), S' within u (a' |S'| + b' |os|):
    //   vO: g3 / 500 half a unit and the double's 1e-8 (0.17 u) on the
    //       product (at most |vO| + |ov_out|), the product's rounding (one
    //       unit, unless fused), the sum's (|vO|), ov_out's half a unit:
    //       a = 2.67 (1.67 fused), b = 2.17 (1.17);
    //   S': the quotient's unit and the double's 0.17 on |g2 S| (at most
    //       |S'| + |os|), the product's unit unless fused, the sum's:
    //       a' = 3.17 (2.17), b' = 2.17 (1.17).
    // The output's sensitivity is 1 + |S'| to vO and |vO| to S' (|c| <= 1);
    // its own roundings: c = A + B' f within 1.5 u * 1.3 + u (fused: 0.5 u *
    // 1.3 + u), vO S' one unit, the product with c one unless fused, the
    // last sum u (|vO| + |vO S'|): u |vO| + 5.95 u |vO S'| (fused 3.65).
    // With |vO| |S'| <= |vO S'| (1 + 2u):
    //   e = u [(a + 1 + b' |os|) |vO| + (a + a' + r) |vO S'| + b |ov_out| (1 + |S'|)]
    // plus 1e-6 for the double's roundings (relative 1e-15 of values below
    // 2^22), and a thousandth more for the roundings of e itself.
    const double slack = 1.001;
    const double a_v[2] = {2.67, 1.67}, b_v[2] = {2.17, 1.17};
    const double a_s[2] = {3.17, 2.17}, b_s[2] = {2.17, 1.17};
    const double own[2] = {5.95, 3.65};
    for (int fused = 0; fused < 2; ++fused) {
        c.out_v[fused] =
            static_cast<float>(u * (a_v[fused] + 1 + b_s[fused] * std::fabs(os)) * slack);
        c.out_vs[fused] = static_cast<float>(u * (a_v[fused] + a_s[fused] + own[fused]) * slack);
        c.out_s[fused] = static_cast<float>(u * b_v[fused] * std::fabs(ov_out) * slack);
        c.out_c[fused] = static_cast<float>(u * b_v[fused] * std::fabs(ov_out) * slack + 1e-6);
    }
    c.grey_exact = os == 0;
    // Gains exact as floats (k below 2^24) and an exact S offset; a hue
    // whose turns stay below 2^20 sixths; offsets small enough that most
    // pixels stay clear of the cuts.
    bool exact = true;
    for (int i = 0; i < 3; ++i) exact = exact && std::fabs(k[i]) < (1 << 24);
    exact = exact && std::fabs(os * 4096) < (1 << 24);
    c.usable = exact && most < (1 << 20) && c.sector < 0.02 && std::fabs(os) <= 16 &&
               std::fabs(ov_out) <= (1 << 16);
    return c;
}
