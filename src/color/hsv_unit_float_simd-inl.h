// color_hsv_m (color_hsv_unit_pixel: unit HSV, nothing clamped) in
// single-precision lanes with a known error, for guarded_steps: a lane whose
// float result lies within its bound of a cut of the double routine is
// flagged risky and goes to the double kernel (include after hwy/highway.h
// in a file included once per target through hwy/foreach_target.h).
//
// R, G, B in units of 1/500 (on the 0..4096 scale) are whole numbers:
//   r = 500 Y + 701 Cr, g = 500 Y - 172 Cb - 357 Cr, b = 500 Y + 886 Cb,
// exact in float for |Y|, |Cb|, |Cr| <= 8192 (every sum and difference of
// them stays below 2^24); other pixels are risky.  So the maximum, the
// minimum, their difference (the range), the channel holding the maximum
// and the difference D of the other two are exact, and every decision of
// the double routine is taken on exact values: flat or not (a range below
// 0.1 is only found at Cb = Cr = 0, where the double's channels are equal
// too: R - G and R - B both below 0.1 in size give |Cb| < 0.09 and
// |Cr| < 0.06), which channel is largest (a tie gives the same hue either
// way, up to rounding), the sign of the hue before it is wrapped.
//
// The double routine's own R, G, B are within 5e-12 of these (a few
// roundings of values below 2^15), so for a range of at least 0.1 its H is
// within 2e-8 degrees of the exact value, and for a maximum other than 0
// (at least 0.002 in size) its S and V within 3e-9 relative (the bounds
// allow it 1e-8).  A maximum of 0 that is not a grey divides by zero: its
// S' and output are not finite, which the size test below sends to the
// double kernel.  R largest with G = B is risky too: the double's hue is +0
// or a rounding below it, which wraps to 360.
//
// In float, with u = 2^-24 (hsv_guard.h turns these into the call's bounds):
//   H6 = 360 D / range + 0, 720, 1440 (or 2160 for a negative hue in R's
//        sector): the quotient (at most 360 in size) within 2u relative,
//        720 u, the sum within 2160 u;
//   S  = range / max, within u relative;
//   vO = max (g3 / 500) + 4080 ov (V' on the output scale), the constant
//        half a unit, its product and the sum one each;
//   S' = g2 S + os, H6' = g1 H6 + 6 oh: a product and a sum each.
// The hue cut: k = trunc(6 H') after the wrap into 0..360 is floor(H6')
// wrapped into 0..2159 wherever H6' lies further than its bound from a whole
// number (the wrap moves by whole turns of 2160); f = k mod 360 and the
// sector k / 360 are then exact.
//
// The output: p, q, t are V'(1 - S' a) with a = 1, f/360, 1 - f/360, so
// each of Y, Cb, Cr, a weighted sum of the sector's (R, G, B) with weights
// of absolute sum 1 and sum 1 (Y) or 0 (Cb, Cr), is
//   Y = vO - vO S' c_Y,  Cb = -vO S' c_Cb,  Cr = -vO S' c_Cr,
// where c = A + B f/360, A and B by sector and component (|c| <= 1,
// |A| + |B| <= 1.3).  Its error is the sensitivity to vO (1 + |S'|) and to
// S' (|vO|) times their errors, plus its own roundings; the bound is taken
// per lane from |vO|, |vO S'| and |S'| (hsv_guard.h).  A lane is trusted
// where no cut of the truncation lies within e of x; its result is then the
// double's.
#if defined(QUORVEL_COLOR_HSV_UNIT_FLOAT_SIMD_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef QUORVEL_COLOR_HSV_UNIT_FLOAT_SIMD_INL_H_
#undef QUORVEL_COLOR_HSV_UNIT_FLOAT_SIMD_INL_H_
#else
#define QUORVEL_COLOR_HSV_UNIT_FLOAT_SIMD_INL_H_
#endif

#include <hwy/highway.h>

#include "buffers/pixel_simd-inl.h"
#include "color/hsv_float_simd-inl.h"  // FloatTag, GuardedResult
#include "color/hsv_guard.h"

HWY_BEFORE_NAMESPACE();
namespace pixel_simd {
namespace HWY_NAMESPACE {

// c = A + B' f (B' = B / 360) of each sector 0..5, for Y, -Cb and -Cr.  The
// sector's (R, G, B) are (v, t, p) (q, v, p) (p, v, t) (p, q, v) (t, p, v)
// (v, p, q), that is V'(1 - S' a) with a = (0, 1 - φ, 1) (φ, 0, 1)
// (1, 0, 1 - φ) (1, φ, 0) (1 - φ, 1, 0) (0, 1, φ), φ = f / 360.
struct UnitSectorTable {
    float a[3][16];
    float b[3][16];
};

constexpr UnitSectorTable unit_sector_table() {
    // Weights of R, G, B in Y, Cb, Cr (rgb_to_yc).
    constexpr double w[3][3] = {{0.299, 0.587, 0.114}, {-0.169, -0.331, 0.5}, {0.5, -0.419, -0.081}};
    UnitSectorTable t{};
    for (int c = 0; c < 3; ++c) {
        const double r = w[c][0], g = w[c][1], b = w[c][2];
        // (A, B) of each sector: a channel at 1 - φ gives w - w φ.
        const double ab[6][2] = {{g + b, -g}, {b, r}, {r + b, -b}, {r, g}, {r + g, -r}, {g, b}};
        // Cb and Cr are -vO S' c: their tables carry the sign.
        const double sign = c == 0 ? 1 : -1;
        for (int s = 0; s < 6; ++s) {
            t.a[c][s] = static_cast<float>(sign * ab[s][0]);
            t.b[c][s] = static_cast<float>(sign * ab[s][1] / 360);
        }
    }
    return t;
}

inline constexpr UnitSectorTable kUnitSectors = unit_sector_table();

// The call's constants (the lanes set them where they are used: as
// operands from memory they cost no register).
struct UnitConstants {
    float v_scale, v_offset, s_gain, s_offset, h_gain, h_offset, sector;
    float out_c, out_v, out_vs, out_s;
    bool grey_exact;
};

HWY_INLINE UnitConstants unit_constants(const HsvUnitCuts& cuts) {
    constexpr int fused = HWY_NATIVE_FMA ? 1 : 0;
    return {cuts.v_scale,       cuts.v_offset,       cuts.gain[1],        cuts.s_offset,
            cuts.gain[0],       cuts.hue_offset,     cuts.sector,         cuts.out_c[fused],
            cuts.out_v[fused],  cuts.out_vs[fused],  cuts.out_s[fused],   cuts.grey_exact};
}

// Whole numbers below 2^22 in size as 32-bit lanes whose low 16 bits are
// the number's (all a component keeps): adding 1.5 * 2^23 puts the number
// in the low bits of the sum's mantissa.
HWY_INLINE hn::Vec<IntTag> whole_bits(FloatVec whole) {
    return hn::BitCast(IntTag(), hn::Add(whole, hn::Set(FloatTag(), 12582912.0f)));
}

// The three outputs truncated (kept as whole_bits keeps them), and `risky`
// with the lanes where one lies within e of a cut of the truncation, a
// whole number other than 0 (x - round(x) rounds nothing for |x| < 2^23).
// The nearest whole number W = round(x) is the nearest cut unless it is 0;
// then the cuts 1 and -1 lie at least 0.5 away.
HWY_INLINE GuardedResult truncated_outputs(const FloatVec (&out)[3], FloatVec e, FloatMask risky) {
    const FloatTag df;
    const auto zero = hn::Zero(df);
    auto nearest = hn::Set(df, 1.0f);
    GuardedResult res;
    hn::Vec<IntTag>* const ints[3] = {&res.y, &res.cb, &res.cr};
    for (int j = 0; j < 3; ++j) {
        const auto whole = hn::Round(out[j]);
        const auto gap = hn::Abs(hn::Sub(out[j], whole));
        nearest = hn::Min(nearest, hn::IfThenElse(hn::Eq(whole, zero), hn::Set(df, 0.5f), gap));
        *ints[j] = whole_bits(hn::Trunc(out[j]));
    }
    res.risky = hn::Or(risky, hn::Le(nearest, e));
    return res;
}

// c = A + B' f of each component for the lanes' sectors (0..5, whole).
HWY_INLINE void sector_coefficients(FloatVec sector, FloatVec f, FloatVec (&coef)[3]) {
    const FloatTag df;
    if constexpr (hn::MaxLanes(FloatTag()) >= 8) {
        const auto index =
            hn::Sub(whole_bits(sector), hn::BitCast(IntTag(), hn::Set(df, 12582912.0f)));
        const auto lanes = hn::IndicesFromVec(df, index);
        for (int j = 0; j < 3; ++j)
            coef[j] = hn::MulAdd(f, hn::TableLookupLanes(hn::LoadU(df, kUnitSectors.b[j]), lanes),
                                 hn::TableLookupLanes(hn::LoadU(df, kUnitSectors.a[j]), lanes));
    } else {
        hn::Mask<FloatTag> at[5];
        for (int m = 0; m < 5; ++m) at[m] = hn::Ge(sector, hn::Set(df, float(m + 1)));
        const auto pick = [&](const float* t) {
            auto v = hn::Set(df, t[0]);
            for (int m = 0; m < 5; ++m) v = hn::IfThenElse(at[m], hn::Set(df, t[m + 1]), v);
            return v;
        };
        for (int j = 0; j < 3; ++j)
            coef[j] = hn::MulAdd(f, pick(kUnitSectors.b[j]), pick(kUnitSectors.a[j]));
    }
}

// The hue in sixths of a degree from D (the difference of the two channels
// other than the largest), the range and which channel is largest: R's
// sector wraps a negative hue by a turn.  A flat lane divides by 1.
template <class M>
HWY_INLINE FloatVec hue_sixths(FloatVec d, FloatVec range, M is_r, M is_g) {
    const FloatTag df;
    const auto c = [&](float x) { return hn::Set(df, x); };
    const auto base = hn::IfThenElse(is_r, hn::IfThenElseZero(hn::Lt(d, hn::Zero(df)), c(2160.0f)),
                                     hn::IfThenElse(is_g, c(720.0f), c(1440.0f)));
    return hn::Add(hn::Div(hn::Mul(d, c(360.0f)), hn::Max(range, c(1.0f))), base);
}

// floor(H6') wrapped into 0..2159 (|H6'| < 2^20: (floor + 0.5) / 2160 lies
// far from a whole number, so its floor is exact), its sector and f, and
// the sector's coefficients.  A finite H6' gives a sector of 0..5 in every
// lane, risky ones included.
HWY_INLINE void wrapped_sector_coefficients(FloatVec h6p, FloatVec (&coef)[3]) {
    const FloatTag df;
    const auto c = [&](float x) { return hn::Set(df, x); };
    const auto kf = hn::Floor(h6p);
    const auto turns = hn::Floor(hn::Mul(hn::Add(kf, c(0.5f)), c(1.0f / 2160)));
    const auto turned = hn::NegMulAdd(turns, c(2160.0f), kf);
    const auto sector = hn::Floor(hn::MulAdd(turned, c(1.0f / 360), c(0.5f / 360)));
    const auto f = hn::NegMulAdd(sector, c(360.0f), turned);
    sector_coefficients(sector, f, coef);
}

// A step of Lanes(FloatTag) pixels from p.
HWY_INLINE GuardedResult hsv_unit_float(const PIXEL_YC* p, const UnitConstants& k) {
    const FloatTag df;
    const auto c = [&](float x) { return hn::Set(df, x); };
    const auto zero = hn::Zero(df);
    hn::Vec<IntTag> yi, cbi, cri;
    load_wide(p, yi, cbi, cri);
    const auto y = hn::ConvertTo(df, yi);
    const auto cb = hn::ConvertTo(df, cbi);
    const auto cr = hn::ConvertTo(df, cri);
    const auto inside =
        hn::Le(hn::Max(hn::Abs(y), hn::Max(hn::Abs(cb), hn::Abs(cr))), c(8192.0f));

    // R, G, B in 1/500, exact (whole numbers below 2^24).
    const auto y500 = hn::Mul(y, c(500.0f));
    const auto r = hn::MulAdd(cr, c(701.0f), y500);
    const auto g = hn::NegMulAdd(cr, c(357.0f), hn::NegMulAdd(cb, c(172.0f), y500));
    const auto b = hn::MulAdd(cb, c(886.0f), y500);
    const auto max = hn::Max(r, hn::Max(g, b));
    const auto range = hn::Sub(max, hn::Min(r, hn::Min(g, b)));
    const auto flat = hn::Eq(range, zero);
    const auto is_r = hn::Eq(r, max);
    const auto is_g = hn::AndNot(is_r, hn::Eq(g, max));
    const auto d = hn::IfThenElse(is_r, hn::Sub(g, b),
                                  hn::IfThenElse(is_g, hn::Sub(b, r), hn::Sub(r, g)));
    // A flat lane has D = 0 and divides by 1; its S is 0.
    const auto h6 = hue_sixths(d, range, is_r, is_g);
    const auto s = hn::IfThenZeroElse(flat, hn::Div(range, max));

    const auto v = hn::MulAdd(max, c(k.v_scale), c(k.v_offset));
    const auto s2 = hn::MulAdd(s, c(k.s_gain), c(k.s_offset));
    const auto h6p = hn::MulAdd(h6, c(k.h_gain), c(k.h_offset));

    FloatVec coef[3];
    wrapped_sector_coefficients(h6p, coef);
    const auto vs = hn::Mul(v, s2);
    const FloatVec out[3] = {hn::NegMulAdd(vs, coef[0], v), hn::Mul(vs, coef[1]),
                             hn::Mul(vs, coef[2])};

    const auto av = hn::Abs(v), avs = hn::Abs(vs);
    const auto e = hn::MulAdd(av, c(k.out_v),
                              hn::MulAdd(avs, c(k.out_vs), hn::MulAdd(hn::Abs(s2), c(k.out_s), c(k.out_c))));
    // Lanes the float form cannot vouch for; NaN and infinities (a maximum
    // of 0) fail the size test.
    auto risky = hn::Not(hn::And(inside, hn::Lt(hn::Add(av, avs), c(4194304.0f))));
    risky = hn::Or(risky, hn::AndNot(flat, hn::And(is_r, hn::Eq(d, zero))));
    // The hue's cut matters wherever S' may be nonzero: not for a grey when
    // os = 0 (S' = g2 * 0 + 0 in both).
    auto near_k = hn::Le(hn::Abs(hn::Sub(h6p, hn::Round(h6p))), c(k.sector));
    if (k.grey_exact) near_k = hn::AndNot(flat, near_k);
    risky = hn::Or(risky, near_k);
    return truncated_outputs(out, e, risky);
}

}  // namespace HWY_NAMESPACE
}  // namespace pixel_simd
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
