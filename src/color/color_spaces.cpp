// The double-precision region colour members: color_hsv, color_hsv_m,
// color_xyz, color_lab.
//
// color_hsv runs vector code compiled for each instruction set and chosen
// at run time (Highway).  Its fast form works in single precision with
// error bounds and hands the pixels that lie next to a cut of the double
// routine to color_hsv_pixel (hsv_adjust_float_simd-inl.h, hsv_guard.h); where the
// gains make the bounds too wide it runs double lanes, exact lane by lane
// (color_hsv_pixel is the rule), which need V' well inside the int range:
// |k| + |O| below 2^30 (checked per call).  color_hsv_m does the same in
// unit HSV (hsv_unit_float_simd-inl.h), its double lanes exact lane by lane
// (color_hsv_unit_pixel is the rule); color_xyz runs double lanes, exact
// lane by lane; color_lab double lanes with its own cube root, guarded
// (lab_simd-inl.h).
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
#include "color/hsv_adjust_float_simd-inl.h"
#include "color/hsv_float_simd-inl.h"
#include "color/hsv_guard.h"
#include "color/hsv_unit_float_simd-inl.h"
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
// vouch for go through the double kernel (hsv_adjust_float_simd-inl.h,
// hsv_guard.h).
static void color_hsv_float_row(PIXEL_YC* p, int n, const HsvCuts& cuts, const HsvAdjust& a) {
    const AdjustConstants k = adjust_constants(cuts);
    guarded_steps(
        p, n, [&](int i) { return hsv_adjust_float(p + i, k); },
        [&](PIXEL_YC* q, int count) { color_hsv_row(q, count, a); });
}

// color_hsv_m in double lanes: the operations of color_hsv_unit_pixel in
// its order, selections in place of branches, so each lane is that
// routine's result bit for bit.  R, G, B are never -0 and never NaN (sums
// and products of 16-bit values), so the maximum and minimum need no NaN
// rule; S and V are not clamped, so infinities and NaN reach the output,
// which trunc_int_saturated stores as to_component does.  A step with a hue
// one wrap does not bring into 0..360 goes to the routine pixel by pixel.
static void color_hsv_unit_row(PIXEL_YC* p, int n, const HsvUnitAdjust& a) {
    const RealTag df;
    const auto c = [&](double v) { return hn::Set(df, v); };
    const auto zero = hn::Zero(df), unit = c(1.0 / 4096), deg = c(360.0), one = c(1.0);
    rgb_steps(
        p, n,
        [&](RealVec r, RealVec g, RealVec b, RealIntVec& oy, RealIntVec& ocb, RealIntVec& ocr) {
            // rgb_to_hsv_unit on R, G, B scaled to 0..255.
            r = hn::Mul(unit, hn::Mul(c(256.0), r));
            g = hn::Mul(unit, hn::Mul(c(256.0), g));
            b = hn::Mul(unit, hn::Mul(c(256.0), b));
            const auto max = hn::Max(r, hn::Max(g, b));
            const auto range = hn::Sub(max, hn::Min(r, hn::Min(g, b)));
            const auto flat = hn::Eq(range, zero);
            const auto v = hn::Div(max, c(255.0));
            // Flat lanes divide by zero here; their H and S are replaced.
            const auto s = hn::IfThenZeroElse(flat, hn::Div(range, max));
            const auto primed = [&](RealVec x) {
                return hn::Sub(max, hn::Div(hn::Mul(x, c(60.0)), range));
            };
            const auto rp = primed(r), gp = primed(g), bp = primed(b);
            auto hue = hn::IfThenElse(
                hn::Eq(r, max), hn::Sub(bp, gp),
                hn::IfThenElse(hn::Eq(g, max), hn::Sub(hn::Add(rp, c(120.0)), bp),
                               hn::Sub(hn::Add(gp, c(240.0)), rp)));
            hue = hn::IfThenElse(hn::Lt(hue, zero), hn::Add(hue, deg), hue);
            const auto h = hn::IfThenZeroElse(flat, hue);
            // H', S', V'; H' is finite (|k| < 2^31, H < 360), so wrap_degrees
            // takes the whole turns off and at most one more either way.
            auto hh = hn::Add(hn::Mul(hn::Mul(c(a.k[0]), h), unit), c(a.oh));
            const auto outside = hn::Or(hn::Lt(hh, zero), hn::Ge(hh, deg));
            hh = hn::IfThenElse(outside, hn::Sub(hh, hn::Mul(hn::Floor(hn::Div(hh, deg)), deg)), hh);
            hh = hn::IfThenElse(hn::Lt(hh, zero), hn::Add(hh, deg), hh);
            hh = hn::IfThenElse(hn::Ge(hh, deg), hn::Sub(hh, deg), hh);
            if (!hn::AllFalse(df, hn::Or(hn::Lt(hh, zero), hn::Ge(hh, deg)))) return false;
            const auto ss = hn::Add(hn::Mul(hn::Mul(c(a.k[1]), s), unit), c(a.os));
            const auto vv = hn::Add(hn::Mul(hn::Mul(c(a.k[2]), v), unit), c(a.ov));
            // hsv_unit_to_rgb: k = trunc(6 H') in 0..2160 (whole, so the
            // quotient by 360 floors exactly), sector k / 360 capped at 5.
            const auto k = hn::Floor(hn::Mul(hh, c(6.0)));
            const auto quotient = hn::Floor(hn::Div(k, deg));
            const auto f = hn::Sub(k, hn::Mul(quotient, deg));
            const auto pv = hn::Mul(vv, hn::Sub(one, ss));
            const auto qv = hn::Mul(vv, hn::Sub(one, hn::Div(hn::Mul(ss, f), deg)));
            const auto tv = hn::Mul(vv, hn::Sub(one, hn::Div(hn::Mul(ss, hn::Sub(deg, f)), deg)));
            // The sector table: (v, t, p) (q, v, p) (p, v, t) (p, q, v) (t, p, v) (v, p, q).
            const auto is = [&](double m) { return hn::Eq(quotient, c(m)); };
            const auto s0 = is(0), s1 = is(1), s2 = is(2), s3 = is(3), s4 = is(4);
            const auto pick = [&](RealVec a0, RealVec a1, RealVec a2, RealVec a3, RealVec a4,
                                  RealVec a5) {
                return hn::IfThenElse(
                    s0, a0,
                    hn::IfThenElse(
                        s1, a1,
                        hn::IfThenElse(s2, a2,
                                       hn::IfThenElse(s3, a3, hn::IfThenElse(s4, a4, a5)))));
            };
            // A zero S' is grey: V' in all three.
            const auto grey = hn::Eq(ss, zero);
            const auto out = [&](RealVec x) {
                return hn::Mul(hn::Mul(hn::IfThenElse(grey, vv, x), c(255.0)), c(16.0));
            };
            r = out(pick(vv, qv, pv, pv, tv, vv));
            g = out(pick(tv, vv, vv, qv, pv, pv));
            b = out(pick(pv, pv, tv, vv, vv, qv));
            RealVec y, cb, cr;
            rgb_to_yc(df, r, g, b, y, cb, cr);
            oy = trunc_int_saturated(df, y);
            ocb = trunc_int_saturated(df, cb);
            ocr = trunc_int_saturated(df, cr);
            return true;
        },
        [&](int i) { color_hsv_unit_pixel(p[i], a); });
}

// color_hsv_m in single precision, guarded: lanes the float form cannot
// vouch for go through the double lanes above (hsv_unit_float_simd-inl.h).
static void color_hsv_unit_float_row(PIXEL_YC* p, int n, const HsvUnitCuts& cuts,
                                     const HsvUnitAdjust& a) {
    const UnitConstants k = unit_constants(cuts);
    guarded_steps(
        p, n, [&](int i) { return hsv_unit_float(p + i, k); },
        [&](PIXEL_YC* q, int count) { color_hsv_unit_row(q, count, a); });
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
HWY_EXPORT(color_hsv_unit_row);
HWY_EXPORT(color_hsv_unit_float_row);
HWY_EXPORT(color_xyz_row);
HWY_EXPORT(color_lab_row);
}  // namespace color_spaces_simd

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
                       HWY_DYNAMIC_DISPATCH(color_spaces_simd::color_hsv_float_row), cuts, a);
}

void color_hsv_unit_double(const Frame& frame, const Region& region, const ColorAdjust& adjust) {
    for_each_pixel_row(frame, region, HWY_DYNAMIC_DISPATCH(color_spaces_simd::color_hsv_unit_row),
                       hsv_unit_adjust(adjust));
}

void color_hsv_unit(const Frame& frame, const Region& region, const ColorAdjust& adjust) {
    const HsvUnitAdjust a = hsv_unit_adjust(adjust);
    const HsvUnitCuts cuts = hsv_unit_cuts(a.k, a.oh, a.os, a.ov);
    if (!cuts.usable) return color_hsv_unit_double(frame, region, adjust);
    for_each_pixel_row(frame, region,
                       HWY_DYNAMIC_DISPATCH(color_spaces_simd::color_hsv_unit_float_row), cuts, a);
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
