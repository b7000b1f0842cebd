// color_hsv (color_hsv_pixel: H in tenths, S and V 0..4096, R, G, B and
// S', V' clamped) in single-precision lanes with a known error, for
// guarded_steps: a lane whose float result lies within its bound of a cut
// of the double routine is flagged risky and goes to the double kernel
// (include after hwy/highway.h in a file included once per target through
// hwy/foreach_target.h).
//
// R, G, B in units of 1/500 are whole numbers:
//   r = 500 Y + 701 Cr, g = 500 Y - 172 Cb - 357 Cr, b = 500 Y + 886 Cb,
// clamped to 0..2048000, and the clamped values are exact in float for every
// 16-bit pixel: 500 Y is exact (below 2^24), r and b round once, from their
// exact value, and rounding is monotone with 0, 2048000 and 2^24 floats, so
// an r beyond 2^24 in size rounds to a value that clamps alike, and one
// below is exact.  g's first step 500 Y - 172 Cb rounds only beyond 2^24 in
// size, by at most 1 (below 2^25); then g itself lies beyond 2^24 - 357 *
// 32768 (about 5e6) on the same side, and clamps alike.  The raw values
// compare with 0 and 2048000 as the exact ones do.  The double routine's channels lie within
// 3e-11 of these (before and after its clamp, which moves nothing by more
// than it moves the exact value), so every decision it takes is taken here
// on exact values, with these exceptions, held back:
//   - a range below 0.1 (50 units): the double's hue and S rest on its
//     roundings, unless the pixel is an exact grey the double also sees as
//     flat (Cb = Cr = 0, where its channels are all Y; or all three
//     channels beyond the same end, clamped to exactly 0 or 4096; a whole
//     unit beyond it is 0.002, far more than the double's error);
//   - R largest with G = B: the double's hue is +0 or a rounding below it,
//     which wraps to 3600, unless G and B both lie beyond the same end
//     (clamped to the same value, the double's B' - G' is exactly 0).
// A tie for the maximum goes to R, then G: the hue is the same either way,
// up to rounding.
//
// In float, with u = 2^-24 (hsv_guard.h turns these into the call's bounds):
//   H6 = 360 D / range + 0, 720, 1440 (or 2160 for a negative hue in R's
//        sector), sixths of a degree: the product and the quotient within
//        2u relative of at most 360, the sum within 2160 u;
//   sU = range / max (S / 4096), within u relative;
//   vO = max (g3 / 500) + o2 (V'), sU' = g2 sU + o1 / 4096 (S' / 4096),
//   H6' = g1 H6 + 0.6 o0 (0.6 H'): a product and a sum each.
// The hue cut: the double's k = trunc(0.6 H') after the wrap into 0..3600
// is floor(H6') wrapped into 0..2159 wherever H6' lies further than its
// bound from a whole number; f = k mod 360 and the sector k / 360 are then
// exact.
//
// The grey cut S' = 0 (V' passes unclamped): with o1 = 0 (grey_exact) S' is
// exactly 0 in both where the range or k1 is 0 and nowhere else (a range of
// at least one unit and a gain other than 0 give a product far above the
// smallest float), and the float sU' is 0 exactly there too.  With o1 other
// than 0 a lane whose |sU'| lies within its bound is held back.
//
// The output: V' and S' clamped (V'c, sc), each of Y, Cb, Cr is
//   Y = V'c - V'c sc c_Y,  Cb = -V'c sc c_Cb,  Cr = -V'c sc c_Cr
// with c = A + B f/360 from the six-sector table of color_hsv_m
// (|c| <= 1), and V'c sc = clamp(V'c sU', 0, V'c) (V'c >= 0; 1 and 0 are
// exact factors).  A grey keeps V' unclamped and gets V'c sc = 0.  A lane is
// trusted where no cut of the truncation (a whole number other than 0) lies
// within its bound e of the result; its result is then the double's.
#if defined(QUORVEL_COLOR_HSV_ADJUST_FLOAT_SIMD_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef QUORVEL_COLOR_HSV_ADJUST_FLOAT_SIMD_INL_H_
#undef QUORVEL_COLOR_HSV_ADJUST_FLOAT_SIMD_INL_H_
#else
#define QUORVEL_COLOR_HSV_ADJUST_FLOAT_SIMD_INL_H_
#endif

#include <hwy/highway.h>

#include "buffers/pixel_simd-inl.h"
#include "color/hsv_float_simd-inl.h"       // FloatTag, GuardedResult, load_wide
#include "color/hsv_guard.h"
#include "color/hsv_unit_float_simd-inl.h"  // sector_coefficients, truncated_outputs

HWY_BEFORE_NAMESPACE();
namespace pixel_simd {
namespace HWY_NAMESPACE {

// The call's constants for the lanes.
struct AdjustConstants {
    float v_scale, v_offset, s_gain, s_offset, h_gain, h_offset, sector, grey;
    float out_c, out_v, out_vs;
    bool grey_exact;
};

HWY_INLINE AdjustConstants adjust_constants(const HsvCuts& cuts) {
    constexpr int fused = HWY_NATIVE_FMA ? 1 : 0;
    return {cuts.v_scale,       cuts.v_offset,     cuts.gain[1],       cuts.s_offset,
            cuts.gain[0],       cuts.hue_offset,   cuts.sector,        cuts.grey,
            cuts.out_c[fused],  cuts.out_v[fused], cuts.out_vs[fused], cuts.grey_exact};
}

// R, G, B of a step of Lanes(FloatTag) pixels from p, in 1/500, raw and
// clamped (max, range, D); which channel is largest; the exact greys, the
// ties of G and B below R that the double also holds at exactly 0, and the
// lanes held back for the reasons above.
struct HsvFront {
    FloatVec rn, gn, bn, max_raw, min_raw, max, range, d;
    FloatMask is_r, is_g, exact_grey, settled, held;
};

HWY_INLINE HsvFront hsv_front(const PIXEL_YC* p) {
    const FloatTag df;
    const auto c = [&](float x) { return hn::Set(df, x); };
    const auto zero = hn::Zero(df), top = c(2048000.0f);
    hn::Vec<IntTag> yi, cbi, cri;
    load_wide(p, yi, cbi, cri);
    const auto y = hn::ConvertTo(df, yi);
    const auto cb = hn::ConvertTo(df, cbi);
    const auto cr = hn::ConvertTo(df, cri);
    const auto y500 = hn::Mul(y, c(500.0f));
    const auto rn = hn::MulAdd(cr, c(701.0f), y500);
    const auto gn = hn::NegMulAdd(cr, c(357.0f), hn::NegMulAdd(cb, c(172.0f), y500));
    const auto bn = hn::MulAdd(cb, c(886.0f), y500);
    const auto r = hn::Min(hn::Max(rn, zero), top);
    const auto g = hn::Min(hn::Max(gn, zero), top);
    const auto b = hn::Min(hn::Max(bn, zero), top);
    HsvFront o;
    o.rn = rn, o.gn = gn, o.bn = bn;
    o.max_raw = hn::Max(rn, hn::Max(gn, bn));
    o.min_raw = hn::Min(rn, hn::Min(gn, bn));
    o.max = hn::Max(r, hn::Max(g, b));
    o.range = hn::Sub(o.max, hn::Min(r, hn::Min(g, b)));
    o.is_r = hn::Eq(r, o.max);
    o.is_g = hn::AndNot(o.is_r, hn::Eq(g, o.max));
    o.d = hn::IfThenElse(o.is_r, hn::Sub(g, b),
                         hn::IfThenElse(o.is_g, hn::Sub(b, r), hn::Sub(r, g)));
    const auto no_chroma = hn::RebindMask(df, hn::Eq(hn::Or(cbi, cri), hn::Zero(IntTag())));
    o.exact_grey = hn::Or(no_chroma, hn::Or(hn::Lt(o.max_raw, zero), hn::Gt(o.min_raw, top)));
    o.settled = hn::Or(hn::Lt(hn::Max(gn, bn), zero), hn::Gt(hn::Min(gn, bn), top));
    // A narrow range that is not an exact grey; R largest, G = B, not both
    // beyond the same end (a flat lane is decided by the first).
    o.held = hn::Or(hn::AndNot(o.exact_grey, hn::Lt(o.range, c(50.0f))),
                    hn::AndNot(o.settled, hn::And(o.is_r, hn::Eq(o.d, zero))));
    return o;
}

// A step of Lanes(FloatTag) pixels from p.
HWY_INLINE GuardedResult hsv_adjust_float(const PIXEL_YC* p, const AdjustConstants& k) {
    const FloatTag df;
    const auto c = [&](float x) { return hn::Set(df, x); };
    const auto zero = hn::Zero(df);
    const HsvFront in = hsv_front(p);
    const auto max = in.max, range = in.range, d = in.d;
    const auto is_r = in.is_r, is_g = in.is_g;
    // A flat lane has D = 0 and divides by 1; its sU is 0/1 (no maximum of
    // 0 reaches the quotient).
    const auto h6 = hue_sixths(d, range, is_r, is_g);
    const auto su = hn::Div(range, hn::Max(max, c(1.0f)));

    const auto v = hn::MulAdd(max, c(k.v_scale), c(k.v_offset));
    const auto s2 = hn::MulAdd(su, c(k.s_gain), c(k.s_offset));
    const auto h6p = hn::MulAdd(h6, c(k.h_gain), c(k.h_offset));

    FloatVec coef[3];
    wrapped_sector_coefficients(h6p, coef);

    // A grey (S' exactly 0) keeps V' as it is; otherwise V' and S' clamp.
    const auto grey = k.grey_exact ? hn::Eq(s2, zero) : hn::FirstN(df, 0);
    const auto vc = hn::IfThenElse(grey, v, hn::Min(hn::Max(v, zero), c(4096.0f)));
    const auto vs_open = hn::Mul(vc, s2);
    const auto vs = hn::Max(hn::Min(vs_open, vc), zero);
    const FloatVec out[3] = {hn::NegMulAdd(vs, coef[0], vc), hn::Mul(vs, coef[1]),
                             hn::Mul(vs, coef[2])};

    const auto av = hn::Abs(v);
    const auto e = hn::MulAdd(av, c(k.out_v), hn::MulAdd(hn::Abs(vs_open), c(k.out_vs), c(k.out_c)));
    // Lanes the float form cannot vouch for (the call's bounds keep |V'|
    // below 2^20, so whole_bits holds every result).
    auto risky = in.held;
    // The hue's cut matters wherever S' is not exactly 0.
    const auto near_k = hn::Le(hn::Abs(hn::Sub(h6p, hn::Round(h6p))), c(k.sector));
    risky = hn::Or(risky, hn::AndNot(grey, near_k));
    if (!k.grey_exact) risky = hn::Or(risky, hn::Le(hn::Abs(s2), c(k.grey)));
    return truncated_outputs(out, e, risky);
}

}  // namespace HWY_NAMESPACE
}  // namespace pixel_simd
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
