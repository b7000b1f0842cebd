// The double-precision region colour members: color_hsv, color_hsv_m,
// color_xyz, color_lab.
#include <cmath>

#include "color/convert.h"
#include "buffers/numeric.h"
#include "buffers/rows.h"
#include "color/region_color.h"

namespace {

// Truncated, low 16 bits kept.  The unclamped unit HSV can divide by a zero
// maximum and give NaN (stored as 0) or infinities (taken to the 32-bit
// limits first), both through trunc_to_int.
inline void store_wrapped(PIXEL_YC& p, const Triple& rgb) {
    const Triple yc = rgb_to_yc(rgb.a, rgb.b, rgb.c);
    p.y = to_component(yc.a);
    p.cb = to_component(yc.b);
    p.cr = to_component(yc.c);
}

inline void store_saturated(PIXEL_YC& p, const Triple& rgb) {
    const Triple yc = rgb_to_yc(rgb.a, rgb.b, rgb.c);
    p.y = saturate_component(yc.a);
    p.cb = saturate_component(yc.b);
    p.cr = saturate_component(yc.c);
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

}  // namespace

void color_hsv(const Frame& frame, const Region& region, const ColorAdjust& adjust) {
    double k[3], o[3];
    for (int c = 0; c < 3; ++c) {
        k[c] = trunc_to_int(adjust.gain[c] * 4096);
        o[c] = trunc_to_int(adjust.offset[c]);
    }
    for_each_pixel(frame, region, [&k, &o](PIXEL_YC& p) {
        const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
        const Triple hsv = rgb_to_hsv(rgb.a, rgb.b, rgb.c);
        store_wrapped(p, hsv_to_rgb((k[0] * hsv.a) * (1.0 / 4096) + o[0],
                                    (k[1] * hsv.b) * (1.0 / 4096) + o[1],
                                    (k[2] * hsv.c) * (1.0 / 4096) + o[2]));
    });
}

void color_hsv_unit(const Frame& frame, const Region& region, const ColorAdjust& adjust) {
    double k[3];
    for (int c = 0; c < 3; ++c) k[c] = trunc_to_int(adjust.gain[c] * 4096);
    // The hue offset is in tenths of a degree and keeps its fraction of a
    // degree; S and V offsets are in 1/4096 steps.
    const double oh = trunc_to_int(adjust.offset[0]) / 10.0;
    const double os = trunc_to_int(adjust.offset[1]) * (1.0 / 4096);
    const double ov = trunc_to_int(adjust.offset[2]) * (1.0 / 4096);
    for_each_pixel(frame, region, [&k, oh, os, ov](PIXEL_YC& p) {
        const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
        const Triple hsv = rgb_to_hsv_unit((1.0 / 4096) * (256 * rgb.a), (1.0 / 4096) * (256 * rgb.b),
                                           (1.0 / 4096) * (256 * rgb.c));
        const double h = wrap_degrees((k[0] * hsv.a) * (1.0 / 4096) + oh);
        const double s = (k[1] * hsv.b) * (1.0 / 4096) + os;
        const double v = (k[2] * hsv.c) * (1.0 / 4096) + ov;
        const Triple out = hsv_unit_to_rgb(h, s, v);
        store_wrapped(p, {out.a * 16, out.b * 16, out.c * 16});
    });
}

void color_xyz(const Frame& frame, const Region& region, const ColorAdjust& adjust) {
    const ColorAdjust a = adjust;
    for_each_pixel(frame, region, [&a](PIXEL_YC& p) {
        const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
        const Triple xyz = rgb_to_xyz(rgb.a, rgb.b, rgb.c);
        store_saturated(p, xyz_to_rgb(xyz.a * a.gain[0] + a.offset[0], xyz.b * a.gain[1] + a.offset[1],
                                      xyz.c * a.gain[2] + a.offset[2]));
    });
}

void color_lab(const Frame& frame, const Region& region, const ColorAdjust& adjust) {
    const ColorAdjust a = adjust;
    for_each_pixel(frame, region, [&a](PIXEL_YC& p) {
        const Triple lab = yc_to_lab(p.y, p.cb, p.cr);
        const Triple xyz = lab_to_xyz(a.gain[0] * lab.a + a.offset[0], a.gain[1] * lab.b + a.offset[1],
                                      lab.c * a.gain[2] + a.offset[2]);
        store_saturated(p, xyz_to_rgb(xyz.a, xyz.b, xyz.c));
    });
}
