// The per-pixel rules of the fixed-point and HSV region colour members.
// The row loops of color_fixed.cpp and color_spaces.cpp run them on the
// pixels their vector code does not cover, and they are the reference that
// code is held to.
//
// A gain of 16 or more times a 16-bit component no longer fits 32 bits, and
// neither does a large offset added to it.  Products and sums are therefore
// formed in 64 bits, where every script value fits exactly: for any gain
// whose 32-bit arithmetic would not overflow the results are the same, and
// beyond that each member gives the exact value, saturated (color) or
// truncated to 32 bits and wrapped to 16 (color_rgb), or wrapped into the
// hue circle and clamped in S and V (color_hsv_i).  Gains and offsets whose
// fixed-point form lies outside the int range saturate to it.
#pragma once

#include <cmath>

#include "buffers/numeric.h"
#include "color/convert.h"
#include "color/region_color.h"

struct ColorFixed {
    long long k[3];
    long long o[3];
};

// k = trunc(gain * 4096); the offset is trunc(offset * scale).
inline ColorFixed color_fixed(const ColorAdjust& adjust, double offset_scale) {
    ColorFixed f{};
    for (int c = 0; c < 3; ++c) {
        f.k[c] = trunc_to_int(adjust.gain[c] * 4096);
        f.o[c] = trunc_to_int(adjust.offset[c] * offset_scale);
    }
    return f;
}

// color: (c * k + O) >> 12, saturated.  >> on a negative value rounds toward
// minus infinity: -3 * 0.5 is -2.
inline void color_yc_pixel(PIXEL_YC& p, const ColorFixed& f) {
    p.y = saturate16((p.y * f.k[0] + f.o[0]) >> 12);
    p.cb = saturate16((p.cb * f.k[1] + f.o[1]) >> 12);
    p.cr = saturate16((p.cr * f.k[2] + f.o[2]) >> 12);
}

// color_rgb: R * k + O on the truncated RGB, 4096 times too large (exact in
// a double: well below 2^53), converted back with the factor divided out.
inline void color_rgb_pixel(PIXEL_YC& p, const ColorFixed& f) {
    const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
    const double r = static_cast<double>(trunc_to_int(rgb.a) * f.k[0] + f.o[0]);
    const double g = static_cast<double>(trunc_to_int(rgb.b) * f.k[1] + f.o[1]);
    const double b = static_cast<double>(trunc_to_int(rgb.c) * f.k[2] + f.o[2]);
    p.y = to_component(((g * 0.587 + r * 0.299) + b * 0.114) * (1.0 / 4096));
    p.cb = to_component((b * 0.5 - (r * 0.169 + g * 0.331)) * (1.0 / 4096));
    p.cr = to_component(((r * 0.5 - g * 0.419) - b * 0.081) * (1.0 / 4096));
}

namespace color_detail {

// An integer hue folded into 0..3599 (the same as the 32-bit wrap of the
// integer HSV conversion for every value that conversion can take).
inline int wrap_hue(long long h) {
    const long long r = h % 3600;
    return static_cast<int>(r < 0 ? r + 3600 : r);
}

// S or V limited to 0..4096, as the integer conversion would clamp it.
inline int clamp_unit(long long v) { return static_cast<int>(v < 0 ? 0 : (v > 4096 ? 4096 : v)); }

}  // namespace color_detail

// color_hsv_i: H * k / 4096 + O with truncating division, all in integers.
inline void color_hsv_int_pixel(PIXEL_YC& p, const ColorFixed& f) {
    using color_detail::clamp_unit;
    using color_detail::wrap_hue;
    const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
    const IntTriple hsv =
        rgb_to_hsv_int(trunc_to_int(rgb.a), trunc_to_int(rgb.b), trunc_to_int(rgb.c));
    const IntTriple out = hsv_to_rgb_int(wrap_hue(hsv.a * f.k[0] / 4096 + f.o[0]),
                                         clamp_unit(hsv.b * f.k[1] / 4096 + f.o[1]),
                                         clamp_unit(hsv.c * f.k[2] / 4096 + f.o[2]));
    const Triple yc = rgb_to_yc(out.a, out.b, out.c);
    p.y = to_component(yc.a);
    p.cb = to_component(yc.b);
    p.cr = to_component(yc.c);
}

// color_hsv: gains k = trunc(gain * 4096) and offsets trunc(offset), as
// doubles.
struct HsvAdjust {
    double k[3];
    double o[3];
};

inline HsvAdjust hsv_adjust(const ColorAdjust& adjust) {
    HsvAdjust a{};
    for (int c = 0; c < 3; ++c) {
        a.k[c] = trunc_to_int(adjust.gain[c] * 4096);
        a.o[c] = trunc_to_int(adjust.offset[c]);
    }
    return a;
}

inline void color_hsv_pixel(PIXEL_YC& p, const HsvAdjust& a) {
    const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
    const Triple hsv = rgb_to_hsv(rgb.a, rgb.b, rgb.c);
    const Triple out = hsv_to_rgb((a.k[0] * hsv.a) * (1.0 / 4096) + a.o[0],
                                  (a.k[1] * hsv.b) * (1.0 / 4096) + a.o[1],
                                  (a.k[2] * hsv.c) * (1.0 / 4096) + a.o[2]);
    const Triple yc = rgb_to_yc(out.a, out.b, out.c);
    p.y = to_component(yc.a);
    p.cb = to_component(yc.b);
    p.cr = to_component(yc.c);
}

// color_hsv_m: gains k = trunc(gain * 4096); the hue offset in tenths of a
// degree keeps its fraction of a degree, S and V offsets are in 1/4096
// steps.
struct HsvUnitAdjust {
    double k[3];
    double oh, os, ov;
};

inline HsvUnitAdjust hsv_unit_adjust(const ColorAdjust& adjust) {
    HsvUnitAdjust a{};
    for (int c = 0; c < 3; ++c) a.k[c] = trunc_to_int(adjust.gain[c] * 4096);
    a.oh = trunc_to_int(adjust.offset[0]) / 10.0;
    a.os = trunc_to_int(adjust.offset[1]) * (1.0 / 4096);
    a.ov = trunc_to_int(adjust.offset[2]) * (1.0 / 4096);
    return a;
}

// Degrees into 0..360 by whole turns.  A large gain can put the hue far out,
// so the turns are taken off at once; the subtraction is exact, and the
// loops only settle a quotient that rounded to the wrong side.
inline double wrap_degrees(double h) {
    if (!std::isfinite(h)) return 0;
    if (h < 0 || h >= 360) h -= std::floor(h / 360) * 360;
    while (h < 0) h += 360;
    while (h >= 360) h -= 360;
    return h;
}

// Nothing is clamped: R, G, B beyond 0..4096 give V beyond 0..1, a zero
// maximum divides S by zero, and the results are truncated with NaN stored
// as 0 and infinities taken to the 32-bit limits first (to_component).
inline void color_hsv_unit_pixel(PIXEL_YC& p, const HsvUnitAdjust& a) {
    const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
    const Triple hsv = rgb_to_hsv_unit((1.0 / 4096) * (256 * rgb.a), (1.0 / 4096) * (256 * rgb.b),
                                       (1.0 / 4096) * (256 * rgb.c));
    const double h = wrap_degrees((a.k[0] * hsv.a) * (1.0 / 4096) + a.oh);
    const double s = (a.k[1] * hsv.b) * (1.0 / 4096) + a.os;
    const double v = (a.k[2] * hsv.c) * (1.0 / 4096) + a.ov;
    const Triple out = hsv_unit_to_rgb(h, s, v);
    const Triple yc = rgb_to_yc(out.a * 16, out.b * 16, out.c * 16);
    p.y = to_component(yc.a);
    p.cb = to_component(yc.b);
    p.cr = to_component(yc.c);
}

// A result in RGB converted back, each component truncated and saturated.
inline void store_saturated(PIXEL_YC& p, const Triple& rgb) {
    const Triple yc = rgb_to_yc(rgb.a, rgb.b, rgb.c);
    p.y = saturate_component(yc.a);
    p.cb = saturate_component(yc.b);
    p.cr = saturate_component(yc.c);
}

// color_xyz: X' = X * gain + offset in double, saturated.
inline void color_xyz_pixel(PIXEL_YC& p, const ColorAdjust& a) {
    const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
    const Triple xyz = rgb_to_xyz(rgb.a, rgb.b, rgb.c);
    store_saturated(p, xyz_to_rgb(xyz.a * a.gain[0] + a.offset[0], xyz.b * a.gain[1] + a.offset[1],
                                  xyz.c * a.gain[2] + a.offset[2]));
}

// color_lab: L' = gain * L + offset in double, saturated.
inline void color_lab_pixel(PIXEL_YC& p, const ColorAdjust& a) {
    const Triple lab = yc_to_lab(p.y, p.cb, p.cr);
    const Triple xyz = lab_to_xyz(a.gain[0] * lab.a + a.offset[0], a.gain[1] * lab.b + a.offset[1],
                                  lab.c * a.gain[2] + a.offset[2]);
    store_saturated(p, xyz_to_rgb(xyz.a, xyz.b, xyz.c));
}
