// The per-pixel rule of the difference masks in Y/Cb/Cr, R/G/B and HSV.
// The row loops of difference_mask.cpp run it on the pixels their vector
// code does not cover, and it is the reference that code is held to.
#pragma once

#include <cmath>

#include "buffers/numeric.h"
#include "mask/color_spaces.h"
#include "mask/difference_mask.h"

// The fixed-point weights W = trunc(weight * 4096).
struct FixedWeights {
    long long w[3];
};

inline FixedWeights fixed_weights(const double w[3]) {
    return {{trunc_to_int(w[0] * 4096), trunc_to_int(w[1] * 4096), trunc_to_int(w[2] * 4096)}};
}

// Fixed-point distance of whole-number components (the conversions give
// exact whole doubles of at most a few 10^5, so the casts are exact).
inline double fixed_distance(const Triple& a, const Triple& b, const FixedWeights& f) {
    const long long e1 = (static_cast<long long>(a.a - b.a) * f.w[0]) >> 12;
    const long long e2 = (static_cast<long long>(a.b - b.b) * f.w[1]) >> 12;
    const long long e3 = (static_cast<long long>(a.c - b.c) * f.w[2]) >> 12;
    const double s =
        static_cast<double>(e1) * e1 + static_cast<double>(e2) * e2 + static_cast<double>(e3) * e3;
    return std::sqrt(s);
}

// Real-weighted distance; with Circular the first component is a hue.
template <bool Circular>
inline double weighted_distance(const Triple& a, const Triple& b, const double w[3]) {
    double t = a.a - b.a;
    if constexpr (Circular) {
        t = std::fabs(t);
        if (t > 1800) t = 3600 - t;
    }
    const double e1 = w[0] * t, e2 = w[1] * (a.b - b.b), e3 = w[2] * (a.c - b.c);
    return std::sqrt(e1 * e1 + e2 * e2 + e3 * e3);
}

// Space Yc, Rgb or Hsv; `f` the fixed weights of m (used by Yc and Rgb).
template <MaskSpace S>
inline void difference_pixel(const PIXEL_YC& a, const PIXEL_YC& b, PIXEL_YC& out,
                             const DifferenceMask& m, const FixedWeights& f) {
    double d;
    if constexpr (S == MaskSpace::Yc)
        d = fixed_distance(mask_space::Yc{}(a), mask_space::Yc{}(b), f);
    else if constexpr (S == MaskSpace::Rgb)
        d = fixed_distance(mask_space::RgbTruncated{}(a), mask_space::RgbTruncated{}(b), f);
    else
        d = weighted_distance<true>(mask_space::Hsv{}(a), mask_space::Hsv{}(b), m.weight);
    put_grade(out, difference_grade(d, m.gain, m.threshold));
}
