// The double-precision region colour members: color_hsv, color_hsv_m,
// color_xyz, color_lab.
//
// color_hsv runs vector code compiled for each instruction set and chosen
// at run time (Highway).  Its fast form works in single precision with
// error bounds and hands the pixels that lie next to a cut of the double
// routine to color_hsv_pixel (hsv_float_simd-inl.h, hsv_guard.h); where the
// gains make the bounds too wide it runs double lanes, exact lane by lane
// (color_hsv_pixel is the rule), which need V' well inside the int range:
// |k| + |O| below 2^30 (checked per call).  The other members call pow,
// cbrt-like powers or no vector-friendly form and stay per pixel.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "color/color_spaces.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <cmath>
#include <cstdlib>

#include "buffers/numeric.h"
#include "buffers/pixel_simd-inl.h"
#include "buffers/rows.h"
#include "color/convert.h"
#include "color/convert_simd-inl.h"
#include "color/hsv_float_simd-inl.h"
#include "color/hsv_guard.h"
#include "color/lab_simd-inl.h"
#include "color/region_color.h"
#include "color/region_color_pixel.h"

HWY_BEFORE_NAMESPACE();
namespace color_spaces_simd {
namespace HWY_NAMESPACE {

using namespace pixel_simd::HWY_NAMESPACE;  // and its alias hn

static void color_hsv_row(PIXEL_YC* p, int n, const HsvAdjust& a) {
    const RealTag df;
    const auto unit = hn::Set(df, 1.0 / 4096);
    const auto adjust = [&](RealVec c, int k) {
        return hn::Add(hn::Mul(hn::Mul(hn::Set(df, a.k[k]), c), unit), hn::Set(df, a.o[k]));
    };
    hsv_steps(p, n, adjust, [&](int i) { color_hsv_pixel(p[i], a); });
}

// color_hsv in single precision, guarded: lanes the float form cannot
// vouch for go through the double kernel (hsv_float_simd-inl.h,
// hsv_guard.h).
static void color_hsv_float_row(PIXEL_YC* p, int n, const HsvCuts& cuts) {
    const IntTag di;
    const Int16Tag d16;
    const FloatTag df;
    const auto c = [&](float v) { return hn::Set(df, v); };
    const auto unit = c(1.0f / 4096);
    const auto adjust = [&](FloatVec v, int k) {
        return hn::Add(hn::Mul(hn::Mul(c(cuts.k[k]), v), unit), c(cuts.o[k]));
    };
    const HsvAdjust a = {{cuts.k[0], cuts.k[1], cuts.k[2]}, {cuts.o[0], cuts.o[1], cuts.o[2]}};
    guarded_steps(
        p, n,
        [&](int i) {
            hn::Vec<Int16Tag> y16, cb16, cr16;
            load_pixels(d16, p + i, y16, cb16, cr16);
            const HsvFloat hsv =
                hsv_float(hn::PromoteTo(di, y16), hn::PromoteTo(di, cb16), hn::PromoteTo(di, cr16));
            GuardedResult r;
            r.risky = hsv.risky;
            hsv_float_to_yc(adjust(hsv.h, 0), adjust(hsv.s, 1), adjust(hsv.v, 2), hsv.exact_s, cuts,
                            r.y, r.cb, r.cr, r.risky);
            return r;
        },
        [&](PIXEL_YC* q, int count) { color_hsv_row(q, count, a); });
}

// color_xyz: every step a single IEEE operation in the order of convert.h;
// results saturated as trunc_to_int and saturate16 do it (gains and offsets
// are any doubles, so NaN and infinities can occur).
static void color_xyz_row(PIXEL_YC* p, int n, const ColorAdjust& a) {
    const RealTag df;
    const auto c = [&](double v) { return hn::Set(df, v); };
    rgb_steps<true>(
        p, n,
        [&](RealVec r, RealVec g, RealVec b, RealIntVec& oy, RealIntVec& ocb, RealIntVec& ocr) {
            const auto x = hn::Add(hn::Add(hn::Mul(c(0.412453), r), hn::Mul(c(0.35758), g)),
                                   hn::Mul(c(0.180423), b));
            const auto yy = hn::Add(hn::Add(hn::Mul(c(0.212671), r), hn::Mul(c(0.71516), g)),
                                    hn::Mul(c(0.072169), b));
            const auto z = hn::Add(hn::Add(hn::Mul(c(0.019334), r), hn::Mul(c(0.119193), g)),
                                   hn::Mul(c(0.950227), b));
            const auto x2 = hn::Add(hn::Mul(x, c(a.gain[0])), c(a.offset[0]));
            const auto y2 = hn::Add(hn::Mul(yy, c(a.gain[1])), c(a.offset[1]));
            const auto z2 = hn::Add(hn::Mul(z, c(a.gain[2])), c(a.offset[2]));
            r = hn::Sub(hn::Sub(hn::Mul(c(3.240479), x2), hn::Mul(c(1.53715), y2)),
                        hn::Mul(c(0.498535), z2));
            g = hn::Add(hn::Add(hn::Mul(c(-0.969256), x2), hn::Mul(c(1.875991), y2)),
                        hn::Mul(c(0.041556), z2));
            b = hn::Add(hn::Sub(hn::Mul(c(0.055648), x2), hn::Mul(c(0.204043), y2)),
                        hn::Mul(c(1.057331), z2));
            RealVec y, cb, cr;
            rgb_to_yc(df, r, g, b, y, cb, cr);
            oy = trunc_int_saturated(df, y);
            ocb = trunc_int_saturated(df, cb);
            ocr = trunc_int_saturated(df, cr);
        },
        [&](int i) { color_xyz_pixel(p[i], a); });
}

// color_lab in double lanes (lab_simd-inl.h): a step with a lane next to a
// cut goes to color_lab_pixel whole.  `g` is 1 plus the largest |gain|.
static void color_lab_row(PIXEL_YC* p, int n, const ColorAdjust& a) {
    const RealTag df;
    const auto c = [&](double v) { return hn::Set(df, v); };
    double g = 0;
    for (double gain : a.gain) g = std::fmax(g, std::fabs(gain));
    g += 1;
    const auto knee_cut = c(1e-12 * g);
    const auto out_cut = c(1e-8 * g);
    const auto out_scale = c(2e-12 * g);
    rgb_steps<true>(
        p, n,
        [&](RealVec r, RealVec gr, RealVec b, RealIntVec& oy, RealIntVec& ocb, RealIntVec& ocr) {
            RealVec l, la, lb;
            rgb_to_lab(r, gr, b, l, la, lb);
            l = hn::Add(hn::Mul(c(a.gain[0]), l), c(a.offset[0]));
            la = hn::Add(hn::Mul(c(a.gain[1]), la), c(a.offset[1]));
            lb = hn::Add(hn::Mul(lb, c(a.gain[2])), c(a.offset[2]));
            // lab_to_xyz
            const auto fy = hn::Div(hn::Add(l, c(16.0)), c(116.0));
            const auto fx = hn::Add(hn::Div(la, c(500.0)), fy);
            const auto fz = hn::Sub(fy, hn::Div(lb, c(200.0)));
            auto risky = hn::FirstN(df, 0);
            const auto x = hn::Mul(hn::Mul(lab_cube(fx, knee_cut, risky), c(0.95045)), c(4096.0));
            const auto yy = hn::Mul(lab_cube(fy, knee_cut, risky), c(4096.0));
            const auto z = hn::Mul(hn::Mul(lab_cube(fz, knee_cut, risky), c(1.08892)), c(4096.0));
            // xyz_to_rgb
            r = hn::Sub(hn::Sub(hn::Mul(c(3.240479), x), hn::Mul(c(1.53715), yy)),
                        hn::Mul(c(0.498535), z));
            gr = hn::Add(hn::Add(hn::Mul(c(-0.969256), x), hn::Mul(c(1.875991), yy)),
                         hn::Mul(c(0.041556), z));
            b = hn::Add(hn::Sub(hn::Mul(c(0.055648), x), hn::Mul(c(0.204043), yy)),
                        hn::Mul(c(1.057331), z));
            RealVec y, cb, cr;
            rgb_to_yc(df, r, gr, b, y, cb, cr);
            const auto size = hn::Max(hn::Abs(x), hn::Max(hn::Abs(yy), hn::Abs(z)));
            const auto e = hn::Add(out_cut, hn::Mul(size, out_scale));
            risky = hn::Or(risky, hn::Or(near_cut_real(y, e),
                                         hn::Or(near_cut_real(cb, e), near_cut_real(cr, e))));
            if (!hn::AllFalse(df, risky)) return false;
            oy = trunc_int_saturated(df, y);
            ocb = trunc_int_saturated(df, cb);
            ocr = trunc_int_saturated(df, cr);
            return true;
        },
        [&](int i) { color_lab_pixel(p[i], a); });
}

}  // namespace HWY_NAMESPACE
}  // namespace color_spaces_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace color_spaces_simd {
HWY_EXPORT(color_hsv_row);
HWY_EXPORT(color_hsv_float_row);
HWY_EXPORT(color_xyz_row);
HWY_EXPORT(color_lab_row);
}  // namespace color_spaces_simd

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

void color_hsv_double(const Frame& frame, const Region& region, const ColorAdjust& adjust) {
    const HsvAdjust a = hsv_adjust(adjust);
    if (std::fabs(a.k[2]) + std::fabs(a.o[2]) >= 1 << 30) {
        for_each_pixel(frame, region, [&a](PIXEL_YC& p) { color_hsv_pixel(p, a); });
        return;
    }
    for_each_pixel_row(frame, region, HWY_DYNAMIC_DISPATCH(color_spaces_simd::color_hsv_row), a);
}

void color_hsv(const Frame& frame, const Region& region, const ColorAdjust& adjust) {
    const HsvAdjust a = hsv_adjust(adjust);
    const HsvCuts cuts = hsv_cuts(a.k, a.o);
    if (!cuts.usable) return color_hsv_double(frame, region, adjust);
    for_each_pixel_row(frame, region,
                       HWY_DYNAMIC_DISPATCH(color_spaces_simd::color_hsv_float_row), cuts);
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
        const Triple hsv =
            rgb_to_hsv_unit((1.0 / 4096) * (256 * rgb.a), (1.0 / 4096) * (256 * rgb.b),
                            (1.0 / 4096) * (256 * rgb.c));
        const double h = wrap_degrees((k[0] * hsv.a) * (1.0 / 4096) + oh);
        const double s = (k[1] * hsv.b) * (1.0 / 4096) + os;
        const double v = (k[2] * hsv.c) * (1.0 / 4096) + ov;
        const Triple out = hsv_unit_to_rgb(h, s, v);
        store_wrapped(p, {out.a * 16, out.b * 16, out.c * 16});
    });
}

void color_xyz(const Frame& frame, const Region& region, const ColorAdjust& adjust) {
    for_each_pixel_row(frame, region, HWY_DYNAMIC_DISPATCH(color_spaces_simd::color_xyz_row),
                       adjust);
}

void color_lab(const Frame& frame, const Region& region, const ColorAdjust& adjust) {
    // The bounds of lab_simd-inl.h hold for gains below 1e6 and offsets
    // below 1e9 (finite); beyond, pixel by pixel.
    bool sensible = true;
    for (int c = 0; c < 3; ++c)
        sensible = sensible && std::fabs(adjust.gain[c]) < 1e6 && std::fabs(adjust.offset[c]) < 1e9;
    if (!sensible) {
        const ColorAdjust a = adjust;
        for_each_pixel(frame, region, [&a](PIXEL_YC& p) { color_lab_pixel(p, a); });
        return;
    }
    for_each_pixel_row(frame, region, HWY_DYNAMIC_DISPATCH(color_spaces_simd::color_lab_row),
                       adjust);
}
#endif  // HWY_ONCE
