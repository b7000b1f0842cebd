// Colour-space conversions between the stored YCbCr pixel and RGB, HSV,
// unit HSV, HSV_P, HSV_C, CIE XYZ and CIE L*a*b*.
//
// Scales: Y and R, G, B 0..4096; Cb, Cr -2048..2048; H in tenths of a degree
// (0..3600), S and V 0..4096; XYZ with 4096 = 1.0; L* 0..100.  Everything is
// double precision in exactly the operation order written here: other
// operations (masks, tone curves, the click read-out) must agree with each
// other to the last unit, and the truncation of results depends on it.
// The routines are pure and inline, for use inside parallel row loops.
#pragma once

#include <cmath>

#include "buffers/numeric.h"
#include "buffers/pixel_format.h"

namespace color_detail {

inline double clamp4096(double v) { return v < 0 ? 0 : (v > 4096 ? 4096 : v); }

// fmax and fmin without the library call (inlined, so the per-pixel loops
// stay call-free): a NaN operand gives the other one.
inline double max_of(double a, double b) { return (a > b || b != b) ? a : b; }
inline double min_of(double a, double b) { return (a < b || b != b) ? a : b; }
inline int clamp4096(int v) { return v < 0 ? 0 : (v > 4096 ? 4096 : v); }

// Hue from the primed values, a tie for the maximum going to R, then G.
inline double pick_hue(double r, double g, double b, double max, double rp, double gp, double bp) {
    if (r == max) return bp - gp;
    if (g == max) return (rp + 120) - bp;
    (void)b;
    return (gp + 240) - rp;
}

// The sector table shared by the HSV-to-RGB conversions.
inline Triple sector_rgb(int sector, double v, double p, double q, double t) {
    switch (sector) {
        case 0:
            return {v, t, p};
        case 1:
            return {q, v, p};
        case 2:
            return {p, v, t};
        case 3:
            return {p, q, v};
        case 4:
            return {t, p, v};
        default:
            return {v, p, q};
    }
}

}  // namespace color_detail

// H in tenths of a degree, S and V 0..4096; R, G, B are clamped to 0..4096.
inline Triple rgb_to_hsv(double r, double g, double b) {
    using color_detail::clamp4096;
    using color_detail::max_of;
    using color_detail::min_of;
    r = clamp4096(r), g = clamp4096(g), b = clamp4096(b);
    const double max = max_of(r, max_of(g, b));
    const double min = min_of(r, min_of(g, b));
    if (max - min == 0) return {0, 0, max};
    const double s = (max - min) / max * 4096;
    const double m = 60 / (max - min);
    const double rp = max - m * r, gp = max - m * g, bp = max - m * b;
    double h = color_detail::pick_hue(r, g, b, max, rp, gp, bp);
    if (h < 0) h += 360;
    return {h * 10, s, max};
}

// H wraps into 0..3600; S and V are clamped, except that a zero S passes V
// through unchanged.
inline Triple hsv_to_rgb(double h, double s, double v) {
    if (s == 0) return {v, v, v};
    if (!std::isfinite(h)) h = 0;  // no hue to wrap; the loops below would never end
    if (h < 0 || h >= 3600) h -= std::floor(h / 3600) * 3600;
    while (h < 0) h += 3600;
    while (h >= 3600) h -= 3600;
    s = color_detail::clamp4096(s), v = color_detail::clamp4096(v);
    int k = static_cast<int>(h * 0.1 * 6);
    // The largest hue below 3600 rounds up to k = 2160 in h * 0.1 * 6: a full
    // turn, which is hue 0 (not a seventh sector).
    if (k >= 2160) k -= 2160;
    const int sector = k / 360, f = k % 360;
    const double vv = v * (1.0 / 4096), ss = s * (1.0 / 4096);
    const double p = vv * (1 - ss);
    const double q = vv * (1 - ss * f / 360);
    const double t = vv * (1 - ss * (360 - f) / 360);
    const Triple rgb = color_detail::sector_rgb(sector, vv, p, q, t);
    return {rgb.a * 4096, rgb.b * 4096, rgb.c * 4096};
}

// Integer HSV: 4096 raw hue units make 60 degrees; H ends in 0..3599.
inline IntTriple rgb_to_hsv_int(int r, int g, int b) {
    using color_detail::clamp4096;
    r = clamp4096(r), g = clamp4096(g), b = clamp4096(b);
    const int max = r > g ? (r > b ? r : b) : (g > b ? g : b);
    const int min = r < g ? (r < b ? r : b) : (g < b ? g : b);
    if (max == 0 || max == min) return {0, 0, max};
    const int d = max - min;
    const int s = (d * 4096) / max;
    const int rp = ((max - r) * 4096) / d, gp = ((max - g) * 4096) / d, bp = ((max - b) * 4096) / d;
    int raw;
    if (r == max)
        raw = bp - gp;
    else if (g == max)
        raw = rp - bp + 8192;
    else
        raw = gp - rp + 16384;
    int h = (raw * 600) / 4096;
    if (h < 0) h += 3600;
    return {h, s, max};
}

inline IntTriple hsv_to_rgb_int(int h, int s, int v) {
    if (h < 0)
        h = static_cast<int>(h + 3600LL + ((-static_cast<long long>(h) - 1) / 3600) * 3600);
    else if (h > 3599)
        h %= 3600;
    s = color_detail::clamp4096(s), v = color_detail::clamp4096(v);
    if (s == 0) return {v, v, v};
    const int sector = h / 600, f = h - sector * 600;
    const int p = ((4096 - s) * v) / 4096;
    const int q = ((4096 - (f * s) / 600) * v) / 4096;
    const int t = ((4096 - ((600 - f) * s) / 600) * v) / 4096;
    const int entry[6] = {v, q, p, p, t, v};
    return {entry[sector], entry[(sector + 4) % 6], entry[(sector + 2) % 6]};
}

// Unit HSV: R, G, B on 0..255, H in degrees, S and V 0..1.  No clamping.
inline Triple rgb_to_hsv_unit(double r, double g, double b) {
    using color_detail::max_of;
    using color_detail::min_of;
    const double max = max_of(r, max_of(g, b));
    const double min = min_of(r, min_of(g, b));
    const double v = max / 255;
    if (max - min == 0) return {0, 0, v};
    const double s = (max - min) / max;
    const double rp = max - (r * 60) / (max - min), gp = max - (g * 60) / (max - min),
                 bp = max - (b * 60) / (max - min);
    double h = color_detail::pick_hue(r, g, b, max, rp, gp, bp);
    if (h < 0) h += 360;
    return {h, s, v};
}

inline Triple hsv_unit_to_rgb(double h, double s, double v) {
    if (s == 0) return {v * 255, v * 255, v * 255};
    const int k = trunc_to_int(h * 6);
    int sector = k / 360;
    const int f = k % 360;
    if (sector > 5) sector = 5;
    const double p = v * (1 - s);
    const double q = v * (1 - s * f / 360);
    const double t = v * (1 - s * (360 - f) / 360);
    const Triple rgb = color_detail::sector_rgb(sector, v, p, q, t);
    return {rgb.a * 255, rgb.b * 255, rgb.c * 255};
}

// sRGB primaries, D65, applied linearly (no transfer curve); same scale.
inline Triple rgb_to_xyz(double r, double g, double b) {
    return {0.412453 * r + 0.35758 * g + 0.180423 * b, 0.212671 * r + 0.71516 * g + 0.072169 * b,
            0.019334 * r + 0.119193 * g + 0.950227 * b};
}

inline Triple xyz_to_rgb(double x, double y, double z) {
    return {3.240479 * x - 1.53715 * y - 0.498535 * z, -0.969256 * x + 1.875991 * y + 0.041556 * z,
            0.055648 * x - 0.204043 * y + 1.057331 * z};
}

namespace color_detail {

inline double lab_f(double u) {
    return u > 0.008856 ? std::pow(u, 0.3333333333333333) : (u * 903.3 + 16) / 116;
}

inline double lab_cube(double f) {
    const double cube = f * f * f;
    return cube <= 0.008856 ? (f * 116 - 16) / 903.3 : cube;
}

}  // namespace color_detail

// XYZ with 4096 = 1.0 to L*a*b* (white point D65).
inline Triple xyz_to_lab(double x, double y, double z) {
    using color_detail::lab_f;
    const double fx = lab_f(x * (1.0 / 4096) / 0.95045);
    const double fy = lab_f(y * (1.0 / 4096));
    const double fz = lab_f(z * (1.0 / 4096) / 1.08892);
    return {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
}

inline Triple lab_to_xyz(double l, double a, double b) {
    using color_detail::lab_cube;
    const double fy = (l + 16) / 116;
    const double fx = a / 500 + fy;
    const double fz = fy - b / 200;
    return {lab_cube(fx) * 0.95045 * 4096, lab_cube(fy) * 4096, lab_cube(fz) * 1.08892 * 4096};
}

inline Triple yc_to_lab(double y, double cb, double cr) {
    const Triple rgb = yc_to_rgb(y, cb, cr);
    const Triple xyz = rgb_to_xyz(rgb.a, rgb.b, rgb.c);
    return xyz_to_lab(xyz.a, xyz.b, xyz.c);
}

// HSV as a point of a cylinder (P) or a cone (C), with weights on the
// saturation radius and on V.
inline Triple hsv_to_hsv_p(double h, double s, double v, double ws, double wv) {
    const double theta = h * 6.283185307179586 / 3600;
    const double r = s * ws;
    return {std::cos(theta) * r, std::sin(theta) * r, v * wv};
}

inline Triple hsv_to_hsv_c(double h, double s, double v, double ws, double wv) {
    const double theta = h * 6.283185307179586 / 3600;
    const double r = ((s * ws) * v) * (1.0 / 4096);
    return {std::cos(theta) * r, std::sin(theta) * r, v * wv};
}

// Distance from P to the segment A-B of a 3-D colour space.
inline double segment_distance(const Triple& a, const Triple& b, const Triple& p) {
    const double d1 = b.a - a.a, d2 = b.b - a.b, d3 = b.c - a.c;
    double t = 0;
    if (d1 != 0 || d2 != 0 || d3 != 0) {
        t = (d1 * (p.a - a.a) + d2 * (p.b - a.b) + d3 * (p.c - a.c)) /
            (d1 * d1 + d2 * d2 + d3 * d3);
        t = t < 0 ? 0 : (t > 1 ? 1 : t);
    }
    const double e1 = a.a + t * d1 - p.a, e2 = a.b + t * d2 - p.b, e3 = a.c + t * d3 - p.c;
    return std::sqrt(e1 * e1 + e2 * e2 + e3 * e3);
}
