// The HSV conversions of convert.h in vector lanes, compiled once per
// instruction set (include after hwy/highway.h in a file included once per
// target through hwy/foreach_target.h).  Each lane gives bit for bit what
// the scalar routine gives: the same IEEE double operations in the same
// order, selections in place of branches.
#if defined(QUORVEL_COLOR_CONVERT_SIMD_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef QUORVEL_COLOR_CONVERT_SIMD_INL_H_
#undef QUORVEL_COLOR_CONVERT_SIMD_INL_H_
#else
#define QUORVEL_COLOR_CONVERT_SIMD_INL_H_
#endif

#include <hwy/highway.h>

#include "buffers/pixel_simd-inl.h"

HWY_BEFORE_NAMESPACE();
namespace pixel_simd {
namespace HWY_NAMESPACE {

// v limited to 0..4096 as color_detail::clamp4096 does it (two tests, no
// min/max, so even a NaN would come through unchanged as there).
template <class DF>
HWY_INLINE hn::Vec<DF> clamp4096(DF df, hn::Vec<DF> v) {
    const auto zero = hn::Zero(df), top = hn::Set(df, 4096.0);
    return hn::IfThenElse(hn::Lt(v, zero), zero, hn::IfThenElse(hn::Gt(v, top), top, v));
}

// The parts of rgb_to_hsv of convert.h on R, G, B already clamped to
// 0..4096 (so no NaN and no -0 reach the maximum and minimum, which
// therefore need no library call).  Pixels whose maximum equals the
// minimum ("flat") get H = S = 0.
template <class DF>
struct HsvParts {
    hn::Vec<DF> max, range;
    hn::Mask<DF> flat;
};

// The maximum (V), the range and S.
template <class DF>
HWY_INLINE HsvParts<DF> hsv_saturation(DF df, hn::Vec<DF> r, hn::Vec<DF> g, hn::Vec<DF> b,
                                       hn::Vec<DF>& s) {
    const auto max = hn::Max(r, hn::Max(g, b));
    const auto min = hn::Min(r, hn::Min(g, b));
    const auto range = hn::Sub(max, min);
    const auto flat = hn::Eq(range, hn::Zero(df));
    // Flat pixels divide by zero here; their lanes are replaced.
    s = hn::IfThenZeroElse(flat, hn::Mul(hn::Div(range, max), hn::Set(df, 4096.0)));
    return {max, range, flat};
}

// H, from the parts hsv_saturation found.
template <class DF>
HWY_INLINE hn::Vec<DF> hsv_hue(DF df, hn::Vec<DF> r, hn::Vec<DF> g, hn::Vec<DF> b,
                               const HsvParts<DF>& parts) {
    const auto max = parts.max;
    const auto m = hn::Div(hn::Set(df, 60.0), parts.range);
    const auto rp = hn::Sub(max, hn::Mul(m, r));
    const auto gp = hn::Sub(max, hn::Mul(m, g));
    const auto bp = hn::Sub(max, hn::Mul(m, b));
    const auto from_r = hn::Sub(bp, gp);
    const auto from_g = hn::Sub(hn::Add(rp, hn::Set(df, 120.0)), bp);
    const auto from_b = hn::Sub(hn::Add(gp, hn::Set(df, 240.0)), rp);
    auto hue =
        hn::IfThenElse(hn::Eq(r, max), from_r, hn::IfThenElse(hn::Eq(g, max), from_g, from_b));
    hue = hn::IfThenElse(hn::Lt(hue, hn::Zero(df)), hn::Add(hue, hn::Set(df, 360.0)), hue);
    return hn::IfThenZeroElse(parts.flat, hn::Mul(hue, hn::Set(df, 10.0)));
}

template <class DF>
HWY_INLINE void clamped_rgb_to_hsv(DF df, hn::Vec<DF> r, hn::Vec<DF> g, hn::Vec<DF> b,
                                   hn::Vec<DF>& h, hn::Vec<DF>& s, hn::Vec<DF>& v) {
    const HsvParts<DF> parts = hsv_saturation(df, r, g, b, s);
    h = hsv_hue(df, r, g, b, parts);
    v = parts.max;
}

// rgb_to_hsv of convert.h on R, G, B from yc_to_rgb of 16-bit pixels:
// always numbers and never -0, so the clamp to 0..4096 can be a maximum and
// a minimum (the same values as clamp4096's two tests for such inputs).
template <class DF>
HWY_INLINE hn::Vec<DF> clamp_rgb(DF df, hn::Vec<DF> c) {
    return hn::Min(hn::Max(c, hn::Zero(df)), hn::Set(df, 4096.0));
}

template <class DF>
HWY_INLINE void rgb_to_hsv(DF df, hn::Vec<DF> r, hn::Vec<DF> g, hn::Vec<DF> b, hn::Vec<DF>& h,
                           hn::Vec<DF>& s, hn::Vec<DF>& v) {
    clamped_rgb_to_hsv(df, clamp_rgb(df, r), clamp_rgb(df, g), clamp_rgb(df, b), h, s, v);
}

// hsv_to_rgb of convert.h for finite H whose wrap into 0..3600 needs at
// most one turn after the floor step (true for every H a region colour
// function can form; `ok` is cleared in lanes where it is not, and the
// caller then converts those pixels one by one).
template <class DF>
HWY_INLINE void hsv_to_rgb(DF df, hn::Vec<DF> h, hn::Vec<DF> s, hn::Vec<DF> v, hn::Vec<DF>& r,
                           hn::Vec<DF>& g, hn::Vec<DF>& b, bool& ok) {
    const auto zero = hn::Zero(df), turn = hn::Set(df, 3600.0);
    const auto grey = hn::Eq(s, zero);
    // Whole turns off at once, then at most one more either way.
    const auto outside = hn::Or(hn::Lt(h, zero), hn::Ge(h, turn));
    h = hn::IfThenElse(outside, hn::Sub(h, hn::Mul(hn::Floor(hn::Div(h, turn)), turn)), h);
    h = hn::IfThenElse(hn::Lt(h, zero), hn::Add(h, turn), h);
    h = hn::IfThenElse(hn::Ge(h, turn), hn::Sub(h, turn), h);
    if (!hn::AllFalse(df, hn::Or(hn::Lt(h, zero), hn::Ge(h, turn)))) ok = false;
    s = clamp4096(df, s);
    const auto vc = clamp4096(df, v);
    const hn::Rebind<std::int32_t, DF> di;
    auto k = hn::DemoteTo(di, hn::Mul(hn::Mul(h, hn::Set(df, 0.1)), hn::Set(df, 6.0)));
    // The largest hue below 3600 rounds up to a full turn: hue 0.
    k = hn::IfThenElse(hn::Lt(k, hn::Set(di, 2160)), k, hn::Sub(k, hn::Set(di, 2160)));
    const auto kd = hn::PromoteTo(df, k);
    const auto sector = hn::Floor(hn::Div(kd, hn::Set(df, 360.0)));  // k >= 0: the integer quotient
    const auto f = hn::Sub(kd, hn::Mul(sector, hn::Set(df, 360.0)));
    const auto vv = hn::Mul(vc, hn::Set(df, 1.0 / 4096));
    const auto ss = hn::Mul(s, hn::Set(df, 1.0 / 4096));
    const auto one = hn::Set(df, 1.0), deg = hn::Set(df, 360.0);
    const auto p = hn::Mul(vv, hn::Sub(one, ss));
    const auto q = hn::Mul(vv, hn::Sub(one, hn::Div(hn::Mul(ss, f), deg)));
    const auto t = hn::Mul(vv, hn::Sub(one, hn::Div(hn::Mul(ss, hn::Sub(deg, f)), deg)));
    // The sector table: (v, t, p) (q, v, p) (p, v, t) (p, q, v) (t, p, v) (v, p, q).
    const auto is = [&](double n) { return hn::Eq(sector, hn::Set(df, n)); };
    const auto s0 = is(0), s1 = is(1), s2 = is(2), s3 = is(3), s4 = is(4);
    const auto pick = [&](hn::Vec<DF> a0, hn::Vec<DF> a1, hn::Vec<DF> a2, hn::Vec<DF> a3,
                          hn::Vec<DF> a4, hn::Vec<DF> a5) {
        return hn::IfThenElse(
            s0, a0,
            hn::IfThenElse(
                s1, a1,
                hn::IfThenElse(s2, a2, hn::IfThenElse(s3, a3, hn::IfThenElse(s4, a4, a5)))));
    };
    const auto scale = hn::Set(df, 4096.0);
    r = hn::IfThenElse(grey, v, hn::Mul(pick(vv, q, p, p, t, vv), scale));
    g = hn::IfThenElse(grey, v, hn::Mul(pick(t, vv, vv, q, p, p), scale));
    b = hn::IfThenElse(grey, v, hn::Mul(pick(p, p, t, vv, vv, q), scale));
}

// Kernels that work on H, S, V in place: each step's pixels through
// rgb_to_hsv, change(c, k) applied to each component c (k: 0 H, 1 S, 2 V),
// then back through hsv_to_rgb and rgb_to_yc, truncated, low 16 bits kept.
// A step with a hue hsv_to_rgb cannot wrap goes to scalar(i) pixel by
// pixel, as do the pixels left at the end.
template <class Change, class Scalar>
HWY_INLINE void hsv_steps(PIXEL_YC* p, int n, const Change& change, const Scalar& scalar) {
    const RealTag df;
    rgb_steps(
        p, n,
        [&](RealVec r, RealVec g, RealVec b, RealIntVec& oy, RealIntVec& ocb, RealIntVec& ocr) {
            RealVec h, s, v;
            rgb_to_hsv(df, r, g, b, h, s, v);
            bool ok = true;
            hsv_to_rgb(df, change(h, 0), change(s, 1), change(v, 2), r, g, b, ok);
            if (!ok) return false;
            RealVec y, cb, cr;
            rgb_to_yc(df, r, g, b, y, cb, cr);
            oy = trunc_int(df, y), ocb = trunc_int(df, cb), ocr = trunc_int(df, cr);
            return true;
        },
        scalar);
}

}  // namespace HWY_NAMESPACE
}  // namespace pixel_simd
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
