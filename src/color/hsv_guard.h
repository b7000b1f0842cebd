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

// The cuts of color_hsv (hsv_adjust_float_simd-inl.h derives the bounds)
// for gains k (trunc(gain * 4096)) and whole offsets o (H in tenths, S and
// V in 1/4096 of full scale), as color_hsv_pixel takes them.
//
// The float lanes work in sixths of a degree for the hue (H6' = 0.6 H',
// the unit of the truncation k = trunc(0.6 H')), in units of full scale for
// S' (sU' = S' / 4096) and on the 0..4096 scale for V'.
struct HsvCuts {
    float gain[3];     // k / 4096, exact
    float hue_offset;  // 0.6 o0, sixths
    float s_offset;    // o1 / 4096, exact
    float v_offset;    // o2, exact
    float v_scale;     // gain 3 / 500: V from R, G, B in 1/500
    float sector;      // |float H6' - double 0.6 H'| at most this
    float grey;        // |float sU' - double sU'| at most this (S' = 0 is grey)
    // Y, Cb, Cr within e = out_c + out_v |vO| + out_vs |vO sU'| of the
    // double's, vO the lane's unclamped V' (clamping to 0..4096 only brings
    // it nearer); [1] where the multiply-adds round once (fused), [0] twice.
    float out_c[2], out_v[2], out_vs[2];
    float output;     // the largest e over every lane (for the callers' checks)
    bool grey_exact;  // o1 = 0: S' is exactly 0 where S or k1 is, in both
    bool usable;      // the bounds hold (and are narrow enough to pay)
};

inline HsvCuts hsv_cuts(const double k[3], const double o[3]) {
    constexpr double u = kFloatRounding;
    HsvCuts c{};
    for (int i = 0; i < 3; ++i) c.gain[i] = static_cast<float>(k[i] / 4096);
    const double g1 = std::fabs(k[0]) / 4096, g2 = std::fabs(k[1]) / 4096;
    const double g3 = std::fabs(k[2]) / 4096;
    const double oh6 = 0.6 * o[0], os = o[1] / 4096, ov = o[2];
    c.hue_offset = static_cast<float>(oh6);
    c.s_offset = static_cast<float>(os);
    c.v_offset = static_cast<float>(ov);
    c.v_scale = static_cast<float>(k[2] / 4096 / 500);
    // H6 within 2880 u + 1e-6 (the quotient 720 u, the base or the turn
    // added 2160 u, the double's own error below 1e-6); the gain carries
    // it, its product and the offset's sum round once each, the offset
    // itself half a unit; the double's own steps (the wrap, 0.6 H') are
    // within 1e-9 of their size.
    const double most = g1 * 2160 + std::fabs(oh6);
    const double sector = g1 * (2880 * u + 1e-6) + u * (g1 * 2160 + most + 0.5 * std::fabs(oh6)) +
                          1e-9 * (1 + most);
    // The double's S within 1e-9 of full scale of the exact one, its V
    // within 1e-10 (a range of at least 0.1: the lanes hold back narrower
    // ones).
    //   vO = max (g3 / 500) + ov: g3 / 500 half a unit, the product one
    //        (unless fused), the sum one of |vO|; |g3 max| <= |vO| + |ov|:
    //        u (a |vO| + b |ov|), a = 2.5 (1.5 fused), b = 1.5 (0.5);
    //   sU' = sU g2 + os: the quotient range / max and the product one
    //        unit each of |g2 sU| <= |sU'| + |os| (the product none when
    //        fused), the sum one of |sU'|:
    //        u (a' |sU'| + b' |os|), a' = 3 (2), b' = 2 (1).
    // The output's sensitivity is at most 1 to V' and |V'| <= 4096 to sU'
    // (|c| <= 1, V' and sU' clamped, which no error widens); its own
    // roundings (hsv_unit_float_simd-inl.h, the same sector table):
    // u |V'| + 5.95 u |V' sU'| (fused 3.65), |V'| <= |vO|.  With
    // |V' sU'| <= |vO sU'|:
    //   e = u [(a + 1) |vO| + (a' + r) |vO sU'| + b |ov| + 4096 b' |os|]
    //       + 4096 g2 1e-9 + g3 1e-10 + 1e-6
    // and a thousandth more for the roundings of e itself.
    const double slack = 1.001;
    const double a_v[2] = {2.5, 1.5}, b_v[2] = {1.5, 0.5};
    const double a_s[2] = {3, 2}, b_s[2] = {2, 1};
    const double own[2] = {5.95, 3.65};
    const double fixed = 4096 * g2 * 1e-9 + g3 * 1e-10 + 1e-6;
    // The largest |vO| and |vO sU'| of a lane: V' and S' unclamped.
    const double most_v = g3 * 4096 + std::fabs(ov), most_s = g2 + std::fabs(os);
    for (int fused = 0; fused < 2; ++fused) {
        c.out_v[fused] = static_cast<float>(u * (a_v[fused] + 1) * slack);
        c.out_vs[fused] = static_cast<float>(u * (a_s[fused] + own[fused]) * slack);
        c.out_c[fused] = static_cast<float>(
            (u * (b_v[fused] * std::fabs(ov) + 4096 * b_s[fused] * std::fabs(os)) + fixed) *
            slack);
    }
    c.output = c.out_c[0] + c.out_v[0] * static_cast<float>(most_v) +
               c.out_vs[0] * static_cast<float>(most_v * most_s);
    c.sector = static_cast<float>(sector);
    c.grey = static_cast<float>((u * (a_s[0] * most_s + b_s[0] * std::fabs(os)) + g2 * 1e-9) * slack);
    c.grey_exact = o[1] == 0;
    // Gains exact as floats (k below 2^24), whole offsets exact as floats;
    // a hue whose turns stay below 2^20 sixths; bounds narrow enough that
    // most pixels stay clear of the cuts.
    bool exact = true;
    for (int i = 0; i < 3; ++i) exact = exact && std::fabs(k[i]) < (1 << 24);
    exact = exact && std::fabs(o[1]) < (1 << 20) && std::fabs(o[2]) < (1 << 20);
    c.usable = exact && most < (1 << 20) && most_v < (1 << 20) && sector < 0.02 &&
               c.output < 0.02;
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
