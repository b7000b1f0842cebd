// yc_to_lab of convert.h in single-precision lanes, each result with a
// bound of its distance from the double routine's (include after
// hwy/highway.h in a file included once per target through
// hwy/foreach_target.h).  The guarded kernels use a float result only
// where it lies farther than its bound from every cut of the double
// routine, and send the other pixels to the exact path.
//
// One rounding of single precision is at most e = 2^-24 of its result.
//
// u (the argument of lab_f): the double routine forms R, G, B, then X, Y,
// Z, then scales; that is one linear form u = cY Y + cB Cb + cR Cr, whose
// coefficients are folded here in double and rounded to float (e each),
// then three products (e each) and two sums (e each, of values at most
// S = |cY Y| + |cB Cb| + |cR Cr|): |du| <= 4 e S, plus 1e-12 for the double
// routine's own roundings (values below 2^17 in double).  S is bounded per
// lane from |Y| and |Cb| + |Cr|.
//
// f = lab_f(u): above the knee 0.008856 the cube root: r = u^(-1/3) from
// a bit-trick first guess (within 13.8% below, checked on every float from
// the knee to 64) and three Newton steps (13.8% -> 4e-2 -> 3.6e-3 ->
// 2.7e-5; their roundings are far below that, fused or not; measured:
// 1.1e-5), f0 = u r^2 (within 5.6e-5), then one Newton step on f itself,
// f = f0 - (f0^3 - u) r^2 / 3.  Its error: the two roundings of f0^3 (2 e
// of u, carried as 2/3 e of f; f0^3 - u is exact, the two being that
// close), the rounding of the subtraction (e), and what the step leaves
// of f0's and r's errors (below 0.25 e): 1.92 e of f, 2 e used (measured
// on every float from the knee to 64: 1.62 e).  The error du moves the
// root by du / (3 f^2) = du r^2 / 3 (times 1.001 for r and for u moving
// within du).  Below the knee f = (903.3 u + 16) / 116 moves by 7.787 du
// (r is then the knee's, and r^2 / 3 = 7.785 there: the 1.001 covers it)
// and, formed as (903.3 u + 16) times 1/116, rounds within e (5 |f| +
// 0.28) (three roundings, the float 903.3 and 1/116).  A lane whose u lies
// within du + 1e-9 of the knee may take the other branch than the double
// routine: `risky`.
//
// L* = 116 fy - 16, a* = 500 (fx - fy), b* = 200 (fy - fz) carry 116, 500
// and 200 times the errors of the f's, plus two roundings each (of at most
// |L*| + 16, |a*|, |b*|).
//
// Every 16-bit pixel gives |u| below 21 (32768 times the sum of the
// coefficients' sizes: 12.4, 10.7, 20.5), within the checked range of the
// root (below the knee the linear form takes any size), and L*, a*, b*
// stay far inside the float range: no lane needs a range test.
#if defined(QUORVEL_COLOR_LAB_FLOAT_SIMD_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef QUORVEL_COLOR_LAB_FLOAT_SIMD_INL_H_
#undef QUORVEL_COLOR_LAB_FLOAT_SIMD_INL_H_
#else
#define QUORVEL_COLOR_LAB_FLOAT_SIMD_INL_H_
#endif

#include <hwy/highway.h>

#include <cmath>

#include "buffers/pixel_format.h"
#include "buffers/pixel_simd-inl.h"

#ifndef QUORVEL_COLOR_LAB_FLOAT_CONSTANTS_
#define QUORVEL_COLOR_LAB_FLOAT_CONSTANTS_
namespace lab_float_detail {

// One rounding of single precision, relative.
constexpr double kRounding = 1.0 / 16777216;

// R, G, B of yc_to_rgb as rows of coefficients of Y, Cb, Cr.
constexpr double kRgb[3][3] = {{1, 0, 1.402}, {1, -0.344, -0.714}, {1, 1.772, 0}};
// rgb_to_xyz, each row divided by 4096 and the white point (xyz_to_lab).
constexpr double kXyz[3][3] = {
    {0.412453, 0.35758, 0.180423}, {0.212671, 0.71516, 0.072169}, {0.019334, 0.119193, 0.950227}};
constexpr double kScale[3] = {1.0 / 4096 / 0.95045, 1.0 / 4096, 1.0 / 4096 / 1.08892};

// Coefficient of input j (Y, Cb, Cr) in u of channel i (X, Y, Z).
constexpr double coefficient(int i, int j) {
    return (kXyz[i][0] * kRgb[0][j] + kXyz[i][1] * kRgb[1][j] + kXyz[i][2] * kRgb[2][j]) *
           kScale[i];
}
constexpr double magnitude(double v) { return v < 0 ? -v : v; }
constexpr double chroma_coefficient(int i) {
    return magnitude(coefficient(i, 1)) > magnitude(coefficient(i, 2))
               ? magnitude(coefficient(i, 1))
               : magnitude(coefficient(i, 2));
}

}  // namespace lab_float_detail

// The key of a weighted distance in the float lanes: its L*, a*, b* and
// weights as floats, |multiplier| 1.001 (the bounds' own roundings), and
// the part of a distance's bound that does not grow with the pixel: the
// keys rounded to float (e each), the double routine's own error (1e-9 on
// L*, a*, b*) and underflow.  Usable where weights are 0 or of size
// 1e-6..1e6 and the multiplier of that size: every float product stays
// normal and finite (the floor covers underflow of the sum of squares
// below 1e-20).
struct LabFloatKey {
    float key[3], weight[3], multiplier, scale, floor;
    bool usable;
};

inline LabFloatKey lab_float_key(const Triple& key, const Triple& weight, double multiplier) {
    LabFloatKey out{};
    const auto sized = [](double v) { return std::fabs(v) >= 1e-6 && std::fabs(v) <= 1e6; };
    const double k[3] = {key.a, key.b, key.c}, w[3] = {weight.a, weight.b, weight.c};
    out.usable = sized(multiplier);
    double keys = 0, weights = 0;
    for (int i = 0; i < 3; ++i) {
        out.usable = out.usable && (w[i] == 0 || sized(w[i])) && std::isfinite(k[i]);
        out.key[i] = static_cast<float>(k[i]);
        out.weight[i] = static_cast<float>(w[i]);
        keys += std::fabs(w[i]) * std::fabs(k[i]);
        weights += std::fabs(w[i]);
    }
    if (!out.usable) return out;
    const double size = std::fabs(multiplier);
    out.multiplier = static_cast<float>(multiplier);
    out.scale = static_cast<float>(size * 1.001);
    out.floor = static_cast<float>(
        size * (1.001 * lab_float_detail::kRounding * keys + 1e-9 * weights) + 1e-20 * (1 + size));
    return out;
}
#endif

HWY_BEFORE_NAMESPACE();
namespace pixel_simd {
namespace HWY_NAMESPACE {

using LabFloatTag = hn::Rebind<float, IntTag>;
using LabFloatVec = hn::Vec<LabFloatTag>;
using LabFloatMask = hn::Mask<LabFloatTag>;

// L*, a*, b*, their error bounds, and the lanes the bounds do not cover.
struct LabFloat {
    LabFloatVec l, a, b;
    LabFloatVec el, ea, eb;
    LabFloatMask risky;
};

// u^(-1/3) for normal u > 0: the first guess and three Newton steps.
HWY_INLINE LabFloatVec inverse_cube_root(LabFloatVec u) {
    const LabFloatTag df;
    const IntTag di;
    const auto bits = hn::BitCast(di, u);
    const auto third = hn::ConvertTo(di, hn::Mul(hn::ConvertTo(df, bits), hn::Set(df, 1.0f / 3)));
    auto r = hn::BitCast(df, hn::Sub(hn::Set(di, 0x548c2b4b), third));
    // r (4 - u r^3) / 3 as r (4/3 - (u/3) r^3).
    const auto four_thirds = hn::Set(df, 4.0f / 3), u3 = hn::Mul(u, hn::Set(df, 1.0f / 3));
    for (int step = 0; step < 3; ++step)
        r = hn::Mul(r, hn::NegMulAdd(u3, hn::Mul(hn::Mul(r, r), r), four_thirds));
    return r;
}

// lab_f of u, whose error is at most du; its own bound in ef.
HWY_INLINE LabFloatVec lab_f_float(LabFloatVec u, LabFloatVec du, LabFloatVec& ef,
                                   LabFloatMask& risky) {
    const LabFloatTag df;
    const auto c = [&](double v) { return hn::Set(df, static_cast<float>(v)); };
    constexpr double e = lab_float_detail::kRounding;
    const auto knee = c(0.008856);
    const auto above = hn::Gt(u, knee);
    risky = hn::Or(risky, hn::Le(hn::Abs(hn::Sub(u, knee)), hn::Add(du, c(1e-9))));
    const auto root_of = hn::IfThenElse(above, u, knee);
    const auto r = inverse_cube_root(root_of);
    const auto r2 = hn::Mul(r, r);
    // The root u r^2, then one Newton step on it: f - (f^3 - u) r^2 / 3.
    const auto f0 = hn::Mul(root_of, r2);
    const auto excess = hn::Sub(hn::Mul(hn::Mul(f0, f0), f0), root_of);
    const auto root = hn::Sub(f0, hn::Mul(excess, hn::Mul(r2, c(1.0 / 3))));
    auto f = root, own = c(2 * e);
    if (!hn::AllTrue(df, above)) {
        const auto linear = hn::Mul(hn::Add(hn::Mul(u, c(903.3)), c(16.0)), c(1.0 / 116));
        f = hn::IfThenElse(above, root, linear);
        own = hn::IfThenElse(above, own, c(5 * e));
    }
    ef = hn::Add(hn::Mul(hn::Mul(du, r2), c(1.001 / 3)),
                 hn::Add(hn::Mul(hn::Abs(f), own), c(0.5 * e)));
    return f;
}

// yc_to_lab of 32-bit lanes of stored components.
HWY_INLINE LabFloat lab_float(hn::Vec<IntTag> y, hn::Vec<IntTag> cb, hn::Vec<IntTag> cr) {
    using lab_float_detail::coefficient;
    const LabFloatTag df;
    const auto c = [&](double v) { return hn::Set(df, static_cast<float>(v)); };
    constexpr double e = lab_float_detail::kRounding;
    const auto fy = hn::ConvertTo(df, y), fcb = hn::ConvertTo(df, cb), fcr = hn::ConvertTo(df, cr);
    const auto ay = hn::Abs(fy), achroma = hn::Add(hn::Abs(fcb), hn::Abs(fcr));
    LabFloat out;
    out.risky = hn::FirstN(df, 0);
    LabFloatVec f[3], ef[3];
    for (int i = 0; i < 3; ++i) {
        const auto u =
            hn::Add(hn::Add(hn::Mul(c(coefficient(i, 0)), fy), hn::Mul(c(coefficient(i, 1)), fcb)),
                    hn::Mul(c(coefficient(i, 2)), fcr));
        // 4 e S, S bounded by |cY| |Y| + max(|cB|, |cR|) (|Cb| + |Cr|); the
        // factors carry 1% for the roundings of this bound itself.
        const auto s = hn::Add(hn::Mul(c(lab_float_detail::magnitude(coefficient(i, 0))), ay),
                               hn::Mul(c(lab_float_detail::chroma_coefficient(i)), achroma));
        const auto du = hn::Add(hn::Mul(s, c(4.04 * e)), c(1e-12));
        f[i] = lab_f_float(u, du, ef[i], out.risky);
    }
    out.l = hn::Sub(hn::Mul(c(116.0), f[1]), c(16.0));
    out.a = hn::Mul(c(500.0), hn::Sub(f[0], f[1]));
    out.b = hn::Mul(c(200.0), hn::Sub(f[1], f[2]));
    // Two roundings each; 2.02 e for the roundings of the bounds.
    out.el =
        hn::Add(hn::Mul(c(116.0), ef[1]), hn::Mul(hn::Add(hn::Abs(out.l), c(16.0)), c(2.02 * e)));
    out.ea =
        hn::Add(hn::Mul(c(500.0), hn::Add(ef[0], ef[1])), hn::Mul(hn::Abs(out.a), c(2.02 * e)));
    out.eb =
        hn::Add(hn::Mul(c(200.0), hn::Add(ef[1], ef[2])), hn::Mul(hn::Abs(out.b), c(2.02 * e)));
    return out;
}

// The distance of each lane's L*a*b* to the key, times the multiplier k,
// and its bound: the components' errors (lab_float's, plus the rounding of
// each difference to the key, e of it) move the weighted vector by at most
// the sum of their sizes times the weights, so the distance by at most that
// times |k|; the products, squares, sums, root and multiplier (and the
// float weights) round within 8 e of d (10 e used).
struct LabFloatDistance {
    LabFloatVec d, error;
};

HWY_INLINE LabFloatDistance lab_float_distance(const LabFloat& lab, const LabFloatKey& key) {
    const LabFloatTag df;
    const auto c = [&](float v) { return hn::Set(df, v); };
    const float e = static_cast<float>(lab_float_detail::kRounding);
    const auto dl = hn::Sub(lab.l, c(key.key[0]));
    const auto da = hn::Sub(lab.a, c(key.key[1]));
    const auto db = hn::Sub(lab.b, c(key.key[2]));
    const auto el = hn::Mul(c(key.weight[0]), dl), ea = hn::Mul(c(key.weight[1]), da),
               eb = hn::Mul(c(key.weight[2]), db);
    LabFloatDistance out;
    out.d = hn::Mul(hn::Sqrt(hn::Add(hn::Add(hn::Mul(el, el), hn::Mul(ea, ea)), hn::Mul(eb, eb))),
                    c(key.multiplier));
    const auto part = [&](LabFloatVec bound, LabFloatVec diff, float w) {
        return hn::Mul(hn::Add(bound, hn::Mul(hn::Abs(diff), c(e))), c(std::fabs(w)));
    };
    const auto moved =
        hn::Add(hn::Add(part(lab.el, dl, key.weight[0]), part(lab.ea, da, key.weight[1])),
                part(lab.eb, db, key.weight[2]));
    out.error = hn::Add(hn::Add(hn::Mul(moved, c(key.scale)), hn::Mul(hn::Abs(out.d), c(10 * e))),
                        c(key.floor));
    return out;
}

}  // namespace HWY_NAMESPACE
}  // namespace pixel_simd
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
