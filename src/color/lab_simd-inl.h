// yc_to_lab and the way back of convert.h in double lanes (include after
// hwy/highway.h in a file included once per target through
// hwy/foreach_target.h).
//
// Every step is the same IEEE double operation in the same order as
// convert.h, except the cube root, where convert.h calls pow(u, 1/3):
// here five Newton steps on u^(-1/3) from a single-precision first guess
// (within 14% of it; a step takes a relative error e to about 2 e^2:
// 14% -> 3.4e-2 -> 2.3e-3 -> 1.1e-5 -> 2.2e-10 -> rounding), then u r^2,
// within a few ulps (1e-15 relative) of pow.  Everything after differs from the double
// routine by that much carried through the chain: a relative 1e-15 in
// L*, a*, b*, times the gains, cubed (x3), through the XYZ -> RGB -> YCbCr
// matrices (x6).  The kernels hold back (`risky`) every lane whose result
// lies within kLabCut, scaled by the gains, of a cut of the double
// routine: the truncation of a result, the branch of lab_cube.
#if defined(QUORVEL_COLOR_LAB_SIMD_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef QUORVEL_COLOR_LAB_SIMD_INL_H_
#undef QUORVEL_COLOR_LAB_SIMD_INL_H_
#else
#define QUORVEL_COLOR_LAB_SIMD_INL_H_
#endif

#include <hwy/highway.h>

#include "buffers/pixel_simd-inl.h"

HWY_BEFORE_NAMESPACE();
namespace pixel_simd {
namespace HWY_NAMESPACE {

// u^(1/3) for u > 0.008856 (normal, finite).
HWY_INLINE RealVec cube_root(RealVec u) {
    const RealTag df;
    const hn::Rebind<float, RealTag> d32;
    const hn::Rebind<std::int32_t, RealTag> di;
    // First guess of u^(-1/3): the exponent and mantissa bits of the float
    // divided by 3 and taken from a constant (within 14%).
    const auto bits = hn::BitCast(di, hn::DemoteTo(d32, u));
    const auto third =
        hn::ConvertTo(di, hn::Mul(hn::ConvertTo(d32, bits), hn::Set(d32, 1.0f / 3)));
    auto r = hn::PromoteTo(df, hn::BitCast(d32, hn::Sub(hn::Set(di, 0x548c2b4b), third)));
    const auto four = hn::Set(df, 4.0), one_third = hn::Set(df, 1.0 / 3);
    for (int step = 0; step < 5; ++step)
        r = hn::Mul(hn::Mul(r, hn::Sub(four, hn::Mul(u, hn::Mul(r, hn::Mul(r, r))))), one_third);
    return hn::Mul(u, hn::Mul(r, r));
}

// lab_f of convert.h.
HWY_INLINE RealVec lab_f(RealVec u) {
    const RealTag df;
    const auto cut = hn::Set(df, 0.008856);
    const auto above = hn::Gt(u, cut);
    const auto linear =
        hn::Div(hn::Add(hn::Mul(u, hn::Set(df, 903.3)), hn::Set(df, 16.0)), hn::Set(df, 116.0));
    // Lanes at or below the cut take the root of the cut instead (unused).
    return hn::IfThenElse(above, cube_root(hn::IfThenElse(above, u, cut)), linear);
}

// rgb_to_xyz then xyz_to_lab of convert.h.
HWY_INLINE void rgb_to_lab(RealVec r, RealVec g, RealVec bl, RealVec& l, RealVec& a, RealVec& b) {
    const RealTag df;
    const auto c = [&](double v) { return hn::Set(df, v); };
    const auto x = hn::Add(hn::Add(hn::Mul(c(0.412453), r), hn::Mul(c(0.35758), g)),
                           hn::Mul(c(0.180423), bl));
    const auto yy = hn::Add(hn::Add(hn::Mul(c(0.212671), r), hn::Mul(c(0.71516), g)),
                            hn::Mul(c(0.072169), bl));
    const auto z = hn::Add(hn::Add(hn::Mul(c(0.019334), r), hn::Mul(c(0.119193), g)),
                           hn::Mul(c(0.950227), bl));
    const auto unit = c(1.0 / 4096);
    const auto fx = lab_f(hn::Div(hn::Mul(x, unit), c(0.95045)));
    const auto fy = lab_f(hn::Mul(yy, unit));
    const auto fz = lab_f(hn::Div(hn::Mul(z, unit), c(1.08892)));
    l = hn::Sub(hn::Mul(c(116.0), fy), c(16.0));
    a = hn::Mul(c(500.0), hn::Sub(fx, fy));
    b = hn::Mul(c(200.0), hn::Sub(fy, fz));
}

// yc_to_lab of convert.h.
HWY_INLINE void yc_to_lab(RealVec y, RealVec cb, RealVec cr, RealVec& l, RealVec& a, RealVec& b) {
    RealVec r, g, bl;
    yc_to_rgb(RealTag(), y, cb, cr, r, g, bl);
    rgb_to_lab(r, g, bl, l, a, b);
}

// lab_cube of convert.h; `risky` gains the lanes whose cube lies within
// `cut` of the branch point.
HWY_INLINE RealVec lab_cube(RealVec f, RealVec cut, hn::Mask<RealTag>& risky) {
    const RealTag df;
    const auto cube = hn::Mul(hn::Mul(f, f), f);
    const auto knee = hn::Set(df, 0.008856);
    risky = hn::Or(risky, hn::Le(hn::Abs(hn::Sub(cube, knee)), cut));
    const auto linear =
        hn::Div(hn::Sub(hn::Mul(f, hn::Set(df, 116.0)), hn::Set(df, 16.0)), hn::Set(df, 903.3));
    return hn::IfThenElse(hn::Le(cube, knee), linear, cube);
}

// |x| lies within e of a whole number other than 0, or beyond 2^30 (where
// the whole numbers are closer than any bound here is wide).
HWY_INLINE hn::Mask<RealTag> near_cut_real(RealVec x, RealVec e) {
    const RealTag df;
    const auto a = hn::Abs(x);
    const auto near = hn::And(hn::Ge(a, hn::Set(df, 0.5)),
                              hn::Le(hn::Abs(hn::Sub(a, hn::Round(a))), e));
    return hn::Or(near, hn::Not(hn::Lt(a, hn::Set(df, 1073741824.0))));
}

}  // namespace HWY_NAMESPACE
}  // namespace pixel_simd
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
