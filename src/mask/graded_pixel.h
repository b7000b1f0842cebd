// The per-pixel rule of the graded masks (mkmask_p and mkmask_l families).
// The row loops of graded_mask.cpp run it on the pixels their vector code
// does not cover, and it is the reference that code is held to.
#pragma once

#include <cmath>

#include "color/convert.h"
#include "mask/color_spaces.h"
#include "mask/graded_mask.h"

inline Triple weigh(const Triple& w, const Triple& p) { return {w.a * p.a, w.b * p.b, w.c * p.c}; }

inline Triple as_triple(const int k[3]) { return {double(k[0]), double(k[1]), double(k[2])}; }

// What a call prepares once: the converted keys, the weights and the
// weighted segment ends.
struct GradedKeys {
    Triple ka, kb, w, wa, wb;
};

inline GradedKeys graded_keys(const Triple& ka, const Triple& kb, const Triple& w) {
    return {ka, kb, w, weigh(w, ka), weigh(w, kb)};
}

// Distance of converted pixel c: to the weighted segment wa-wb (Line), or
// to the key ka with weights w, the first component taken around the hue
// circle when Circular.
template <bool Line, bool Circular>
inline double graded_distance(const Triple& c, const GradedKeys& k) {
    if constexpr (Line) {
        return segment_distance(k.wa, k.wb, weigh(k.w, c));
    } else {
        double t = c.a - k.ka.a;
        if constexpr (Circular) {
            t = std::fabs(t);
            if (t > 1800) t = 3600 - t;
        }
        const double e1 = k.w.a * t, e2 = k.w.b * (c.b - k.ka.b), e3 = k.w.c * (c.c - k.ka.c);
        return std::sqrt(e1 * e1 + e2 * e2 + e3 * e3);
    }
}

template <bool Line, bool Circular, class Convert>
inline void graded_pixel(const PIXEL_YC& in, PIXEL_YC& out, const Convert& convert,
                         const GradedKeys& k, double inner, double outer) {
    put_grade(out, distance_grade(graded_distance<Line, Circular>(convert(in), k), inner, outer));
}
