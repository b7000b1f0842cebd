// Near-colour merging behind merge_near, mkmask_near, merge_near_lab and
// mkmask_near_lab: one row loop, a plain or an L*a*b* distance.
//
// The L*a*b* members with exponent 0 or 1 run vector code compiled for each
// instruction set and chosen at run time (Highway): yc_to_lab in float
// lanes with a bound (lab_float_simd-inl.h), lanes next to a cut held back
// to yc_to_lab in double lanes (lab_simd-inl.h), whose steps with a lane
// next to a cut go to the per-pixel rule (near_lab_float_row,
// near_lab_row).  Weights or multipliers beyond the float lanes' sizes
// start at the double lanes.  The plain members with exponent 0 or 1 run the
// same double lanes with their fixed-point distance (near_plain_row).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "mask/near_merge.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <cmath>
#include <cstdint>
#include <type_traits>

#include "buffers/numeric.h"
#include "buffers/pixel_simd-inl.h"
#include "buffers/rows.h"
#include "color/convert.h"
#include "color/lab_float_simd-inl.h"
#include "color/lab_simd-inl.h"
#include "mask/near_merge.h"

#ifndef QUORVEL_MASK_NEAR_MERGE_RULES_
#define QUORVEL_MASK_NEAR_MERGE_RULES_
namespace near_rules {

// Fixed-point Y, Cb, Cr distance to the key.
struct PlainDistance {
    long long key[3];
    long long w[3];
    double k;
    explicit PlainDistance(const NearMerge& m) : k(m.multiplier) {
        for (int c = 0; c < 3; ++c) {
            key[c] = trunc_to_int(m.key[c]);
            w[c] = trunc_to_int(m.weight[c] * 4096);
        }
    }
    double operator()(const PIXEL_YC& q) const {
        const long long e1 = (w[0] * (key[0] - q.y)) >> 12;
        const long long e2 = (w[1] * (key[1] - q.cb)) >> 12;
        const long long e3 = (w[2] * (key[2] - q.cr)) >> 12;
        const double s = static_cast<double>(e1) * e1 + static_cast<double>(e2) * e2 +
                         static_cast<double>(e3) * e3;
        return std::sqrt(s) * k;
    }
};

// L*a*b* distance to the key (converted once); weights on L*, b*, a*.
struct LabDistance {
    Triple key;
    double wl, wb, wa, k;
    explicit LabDistance(const NearMerge& m)
        : key(yc_to_lab(m.key[0], m.key[1], m.key[2])),
          wl(m.weight[0]),
          wb(m.weight[1]),
          wa(m.weight[2]),
          k(m.multiplier) {}
    double operator()(const PIXEL_YC& q) const {
        const Triple lab = yc_to_lab(q.y, q.cb, q.cr);
        const double el = wl * (lab.a - key.a), ea = wa * (lab.b - key.b),
                     eb = wb * (lab.c - key.c);
        return std::sqrt(el * el + ea * ea + eb * eb) * k;
    }
};

// The per-pixel rules of the two outputs: write(pa, pb, out, da, db).
struct MergeWrite {
    double p;
    void operator()(const PIXEL_YC& pa, const PIXEL_YC& pb, PIXEL_YC& out, double da,
                    double db) const {
        if (p == 0) {
            out = db > da ? pa : pb;
            return;
        }
        const double t = near_weight(da, db, p), u = 1 - t;
        const PIXEL_YC x = pa, y = pb;  // out may alias a or b
        out.y = blend(t, u, x.y, y.y);
        out.cb = blend(t, u, x.cb, y.cb);
        out.cr = blend(t, u, x.cr, y.cr);
    }
    // A component the two images agree on keeps its value: t x + (1 - t) x
    // rounds to just below x for some t, which truncation would turn into
    // x - 1.
    static std::int16_t blend(double t, double u, std::int16_t x, std::int16_t z) {
        return x == z ? x : to_component(t * x + u * z);
    }
};

struct MaskWrite {
    double p;
    void operator()(const PIXEL_YC&, const PIXEL_YC&, PIXEL_YC& out, double da, double db) const {
        put_grade(out, p == 0 ? (db > da ? 4096 : 0) : trunc_to_int(near_weight(da, db, p) * 4096));
    }
};

// What the L*a*b* rows take from a call.
struct NearLab {
    const NearMerge* m;
    bool mask;
    double near;         // bound of a distance's error, beyond its 1e-13 relative part
    LabFloatKey single;  // the key of the float lanes (near_lab_float_row), if usable
};

}  // namespace near_rules
#endif

HWY_BEFORE_NAMESPACE();
namespace near_simd {
namespace HWY_NAMESPACE {

using namespace pixel_simd::HWY_NAMESPACE;  // and its alias hn

// Exponent 0 or 1.  The distances lie within e = near + 1e-13 d of the
// double routine's (lab_simd-inl.h: 1e-10 on L*, a*, b*, times the weights
// and the multiplier).  Exponent 0 compares them: a step with |dA - dB| <=
// eA + eB goes to the per-pixel rule.  Exponent 1 weighs t = dB / (dA + dB)
// (pow(d, 1) is d), which moves by at most (eA + eB) / |dA + dB|; a result
// t x + (1 - t) y, or t 4096, within that times |x - y| (or 4096), plus
// 1e-9, of a whole number, or a sum dA + dB within eA + eB of 0, goes there
// too.
//
// The plain members (Plain) take the same steps with the fixed-point
// distance, which the lanes form exactly: (w (key - q)) >> 12 is a whole
// product below 2^53 (keys within 2^20, checked by the caller) floored
// after an exact division by 4096, and the rest are the routine's own
// double operations in its order.  Their distances have no error, so the
// bound is the 1e-13 relative part alone.
template <bool Plain>
HWY_INLINE void near_double_row(const PIXEL_YC* a, const PIXEL_YC* b, PIXEL_YC* d, int n,
                                const near_rules::NearLab& lab) {
    const RealTag df;
    const auto c = [&](double v) { return hn::Set(df, v); };
    const NearMerge& m = *lab.m;
    using Distance = std::conditional_t<Plain, near_rules::PlainDistance, near_rules::LabDistance>;
    const Distance distance(m);
    const near_rules::MergeWrite merge{m.exponent};
    const near_rules::MaskWrite mask{m.exponent};
    const auto scalar = [&](int i) {
        const double da = distance(a[i]), db = distance(b[i]);
        if (lab.mask)
            mask(a[i], b[i], d[i], da, db);
        else
            merge(a[i], b[i], d[i], da, db);
    };
    const auto lab_distance = [&](const RealPlanes& px, int h) {
        if constexpr (Plain) {
            const auto e = [&](int k, RealVec q) {
                const auto product = hn::Mul(c(static_cast<double>(distance.w[k])),
                                             hn::Sub(c(static_cast<double>(distance.key[k])), q));
                return hn::Floor(hn::Mul(product, c(1.0 / 4096)));
            };
            const auto e1 = e(0, px.y[h]), e2 = e(1, px.cb[h]), e3 = e(2, px.cr[h]);
            return hn::Mul(
                hn::Sqrt(hn::Add(hn::Add(hn::Mul(e1, e1), hn::Mul(e2, e2)), hn::Mul(e3, e3))),
                c(distance.k));
        } else {
            RealVec l, la, lb;
            yc_to_lab(px.y[h], px.cb[h], px.cr[h], l, la, lb);
            const auto el = hn::Mul(c(distance.wl), hn::Sub(l, c(distance.key.a)));
            const auto ea = hn::Mul(c(distance.wa), hn::Sub(la, c(distance.key.b)));
            const auto eb = hn::Mul(c(distance.wb), hn::Sub(lb, c(distance.key.c)));
            return hn::Mul(
                hn::Sqrt(hn::Add(hn::Add(hn::Mul(el, el), hn::Mul(ea, ea)), hn::Mul(eb, eb))),
                c(distance.k));
        }
    };
    const bool hard = m.exponent == 0;
    const int step = real_step();
    row_steps(
        n, step,
        [&](int i) {
            RealPlanes pa, pb;
            load_real(a + i, pa);
            load_real(b + i, pb);
            IntParts y, cb, cr;
            for (int h = 0; h < kRealParts; ++h) {
                const auto da = lab_distance(pa, h), db = lab_distance(pb, h);
                const auto error =
                    hn::Add(c(2 * lab.near), hn::Mul(hn::Add(hn::Abs(da), hn::Abs(db)), c(1e-13)));
                auto risky = hn::Not(hn::Lt(error, c(1e300)));  // NaN or huge
                if (hard) {
                    risky = hn::Or(risky, hn::Le(hn::Abs(hn::Sub(da, db)), error));
                    const auto a_wins = hn::Gt(db, da);
                    if (lab.mask) {
                        y[h] = trunc_int(df, hn::IfThenElseZero(a_wins, c(4096.0)));
                        cb[h] = cr[h] = hn::Zero(RealIntTag());
                    } else {
                        y[h] = trunc_int(df, hn::IfThenElse(a_wins, pa.y[h], pb.y[h]));
                        cb[h] = trunc_int(df, hn::IfThenElse(a_wins, pa.cb[h], pb.cb[h]));
                        cr[h] = trunc_int(df, hn::IfThenElse(a_wins, pa.cr[h], pb.cr[h]));
                    }
                } else {
                    const auto sum = hn::Add(da, db);
                    risky = hn::Or(risky, hn::Le(hn::Abs(sum), error));
                    const auto t = hn::Div(db, sum);
                    const auto dt = hn::Add(hn::Div(error, hn::Abs(sum)), c(1e-12));
                    const auto u = hn::Sub(c(1.0), t);
                    if (lab.mask) {
                        const auto g = hn::Mul(t, c(4096.0));
                        risky = hn::Or(risky,
                                       near_cut_real(g, hn::Add(hn::Mul(dt, c(4096.0)), c(1e-9))));
                        y[h] = trunc_int(df, g);
                        cb[h] = cr[h] = hn::Zero(RealIntTag());
                    } else {
                        // Equal components are written as they are
                        // (MergeWrite::blend), with nothing to check.
                        const auto blend = [&](RealVec x, RealVec z, RealIntVec& out) {
                            const auto same = hn::Eq(x, z);
                            const auto v = hn::Add(hn::Mul(t, x), hn::Mul(u, z));
                            const auto e = hn::Add(hn::Mul(dt, hn::Abs(hn::Sub(x, z))), c(1e-9));
                            risky = hn::Or(risky, hn::AndNot(same, near_cut_real(v, e)));
                            out = trunc_int(df, hn::IfThenElse(same, x, v));
                        };
                        blend(pa.y[h], pb.y[h], y[h]);
                        blend(pa.cb[h], pb.cb[h], cb[h]);
                        blend(pa.cr[h], pb.cr[h], cr[h]);
                    }
                }
                if (!hn::AllFalse(df, risky)) {
                    for (int k = i; k < i + step; ++k) scalar(k);
                    return;
                }
            }
            store_wrapped(y, cb, cr, d + i);
        },
        scalar);
}

static void near_lab_row(const PIXEL_YC* a, const PIXEL_YC* b, PIXEL_YC* d, int n,
                         const near_rules::NearLab& lab) {
    near_double_row<false>(a, b, d, n, lab);
}
static void near_plain_row(const PIXEL_YC* a, const PIXEL_YC* b, PIXEL_YC* d, int n,
                           const near_rules::NearLab& lab) {
    near_double_row<true>(a, b, d, n, lab);
}

// Exponent 0 or 1 in float lanes.  With dA and dB within EA and EB of the
// double routine's (lab_float_distance):
//   exponent 0  the choice dB > dA holds there too unless |dA - dB| <=
//               EA + EB (1.001 for the roundings of the test);
//   exponent 1  t = dB / (dA + dB) moves by at most
//               (t EA + (1 - t) EB) / (|dA + dB| - EA - EB)
//               (dA and dB have one sign), which must be positive; the
//               float t rounds twice more (2 e t, 2.1 e used), and the
//               double's own t within 1e-9 of 4096.  The mask truncates
//               4096 t, the merge z + t (x - z) (the double's t x +
//               (1 - t) z up to 1e-9), which the float forms within
//               e (|x - z| + |v|) more: a result within its bound of a
//               whole number other than 0 is held back.  Components A and
//               B agree on are written as they are.
// Equal pixels need no bound.  Held-back lanes, lanes lab_float cannot
// vouch for and the pixels left at the end of the run are gathered (with
// copies of their pixels, taken before the step's store, since d may be a
// or b) and run through near_lab_row, the double lanes, some hundreds at a
// time.
static void near_lab_float_row(const PIXEL_YC* a, const PIXEL_YC* b, PIXEL_YC* d, int n,
                               const near_rules::NearLab& lab) {
    const LabFloatTag df;
    const IntTag di;
    const Int16Tag d16;
    const auto c = [&](float v) { return hn::Set(df, v); };
    const float e = 1.0f / 16777216;
    const bool hard = lab.m->exponent == 0;
    const int step = static_cast<int>(hn::Lanes(di));
    // Room for kHeld held pixels, a step and a part step more (each step
    // starts with count <= kHeld), and the padding of the last double step.
    constexpr int kHeld = 512, kRoom = kHeld + 128;
    HWY_ALIGN std::int32_t held[kRoom];
    PIXEL_YC held_a[kRoom], held_b[kRoom], held_out[kRoom];
    int count = 0;
    // The double lanes on the held pixels, padded with copies of the last
    // to whole steps (a part step would go pixel by pixel).
    const auto flush = [&]() {
        if (count == 0) return;
        const int whole = (count + real_step() - 1) / real_step() * real_step();
        for (int k = count; k < whole; ++k)
            held_a[k] = held_a[count - 1], held_b[k] = held_b[count - 1];
        near_lab_row(held_a, held_b, held_out, whole, lab);
        for (int k = 0; k < count; ++k) d[held[k]] = held_out[k];
        count = 0;
    };
    int i = 0;
    for (; i + step <= n; i += step) {
        if (count > kHeld) flush();
        hn::Vec<Int16Tag> ya16, cba16, cra16, yb16, cbb16, crb16;
        load_pixels(d16, a + i, ya16, cba16, cra16);
        load_pixels(d16, b + i, yb16, cbb16, crb16);
        const auto ya = hn::PromoteTo(di, ya16), cba = hn::PromoteTo(di, cba16),
                   cra = hn::PromoteTo(di, cra16);
        const auto yb = hn::PromoteTo(di, yb16), cbb = hn::PromoteTo(di, cbb16),
                   crb = hn::PromoteTo(di, crb16);
        const LabFloat la = lab_float(ya, cba, cra), lb = lab_float(yb, cbb, crb);
        const LabFloatDistance da = lab_float_distance(la, lab.single),
                               db = lab_float_distance(lb, lab.single);
        auto risky = hn::Or(la.risky, lb.risky);
        const auto both = hn::Mul(hn::Add(da.error, db.error), c(1.001f));
        hn::Vec<IntTag> y, cb, cr;
        if (hard) {
            risky = hn::Or(risky, hn::Le(hn::Abs(hn::Sub(da.d, db.d)), both));
            const auto a_wins = hn::RebindMask(di, hn::Gt(db.d, da.d));
            if (lab.mask) {
                y = hn::IfThenElseZero(a_wins, hn::Set(di, 4096));
            } else {
                y = hn::IfThenElse(a_wins, ya, yb);
                cb = hn::IfThenElse(a_wins, cba, cbb);
                cr = hn::IfThenElse(a_wins, cra, crb);
            }
        } else {
            const auto sum = hn::Add(da.d, db.d);
            const auto room = hn::Sub(hn::Abs(sum), both);
            risky = hn::Or(risky, hn::Not(hn::Gt(room, hn::Zero(df))));
            const auto t = hn::Div(db.d, sum);
            const auto moved =
                hn::Add(hn::Mul(t, da.error), hn::Mul(hn::Sub(c(1.0f), t), db.error));
            const auto dt =
                hn::Add(hn::Div(hn::Mul(moved, c(1.01f)), room), hn::Mul(t, c(2.1f * e)));
            // |v| within e of a whole number other than 0 (truncation
            // toward zero has no cut in (-1, 1)), or a bound too wide.
            const auto near_cut = [&](LabFloatVec v, LabFloatVec bound) {
                const auto m = hn::Abs(v);
                return hn::Or(
                    hn::Gt(bound, c(0.25f)),
                    hn::And(hn::Ge(m, c(0.5f)), hn::Le(hn::Abs(hn::Sub(m, hn::Round(m))), bound)));
            };
            if (lab.mask) {
                const auto g = hn::Mul(t, c(4096.0f));
                risky = hn::Or(risky, near_cut(g, hn::Add(hn::Mul(dt, c(4096.0f)), c(1e-9f))));
                y = hn::ConvertTo(di, g);
            } else {
                const auto blend = [&](hn::Vec<IntTag> x, hn::Vec<IntTag> z) {
                    const auto fx = hn::ConvertTo(df, x), fz = hn::ConvertTo(df, z);
                    const auto gap = hn::Abs(hn::Sub(fx, fz));
                    const auto v = hn::Add(fz, hn::Mul(t, hn::Sub(fx, fz)));
                    const auto bound = hn::Add(
                        hn::Add(hn::Mul(dt, gap), hn::Mul(hn::Add(gap, hn::Abs(v)), c(1.01f * e))),
                        c(1e-9f));
                    const auto same = hn::Eq(x, z);
                    risky = hn::Or(risky, hn::AndNot(hn::RebindMask(df, same), near_cut(v, bound)));
                    return hn::IfThenElse(same, x, hn::ConvertTo(di, v));
                };
                y = blend(ya, yb);
                cb = blend(cba, cbb);
                cr = blend(cra, crb);
            }
        }
        // Equal pixels have equal distances in the double routine too:
        // B wins a hard choice, t is 1/2 (d / 2d, or 0/0) and the blend
        // keeps every component.
        const auto same = hn::And(hn::And(hn::Eq(ya, yb), hn::Eq(cba, cbb)), hn::Eq(cra, crb));
        risky = hn::AndNot(hn::RebindMask(df, same), risky);
        if (!hard && lab.mask) y = hn::IfThenElse(same, hn::Set(di, 2048), y);
        if (!hn::AllFalse(df, risky)) {
            const int first = count;
            count += static_cast<int>(
                hn::CompressStore(hn::Iota(di, i), hn::RebindMask(di, risky), di, held + count));
            for (int k = first; k < count; ++k) held_a[k] = a[held[k]], held_b[k] = b[held[k]];
        }
        if (lab.mask)
            store_grades(d16, hn::DemoteTo(d16, y), d + i);
        else
            store_pixels(d16, hn::DemoteTo(d16, y), hn::DemoteTo(d16, cb), hn::DemoteTo(d16, cr),
                         d + i);
    }
    for (; i < n; ++i) {
        held[count] = i, held_a[count] = a[i], held_b[count] = b[i];
        ++count;
    }
    flush();
}

}  // namespace HWY_NAMESPACE
}  // namespace near_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace near_simd {
HWY_EXPORT(near_lab_row);
HWY_EXPORT(near_plain_row);
HWY_EXPORT(near_lab_float_row);
}  // namespace near_simd

double near_weight(double da, double db, double p) {
    if (p == 0) return db > da ? 1 : 0;
    const double pa = std::pow(da, p), pb = std::pow(db, p);
    const double t = pb / (pa + pb);
    return t == t ? t : 0.5;
}

namespace {

using near_rules::LabDistance;
using near_rules::PlainDistance;

// One row loop for both outputs: write(pa, pb, out, da, db).
template <class Distance, class Write>
void near_rows(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area,
               const Distance& distance, const Write& write) {
    for_each_triple(a, b, dst, area, [&](const PIXEL_YC& pa, const PIXEL_YC& pb, PIXEL_YC& out) {
        write(pa, pb, out, distance(pa), distance(pb));
    });
}

// The L*a*b* lanes for exponents 0 and 1 and sensible weights (their
// bound: 1e-10 on L*, a*, b*, times 2 |w| |k|); true when they ran.
bool near_lab_lanes(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area,
                    const NearMerge& m, bool mask) {
    if (!m.lab || !(m.exponent == 0 || m.exponent == 1)) return false;
    double most = 0;
    for (double w : m.weight) most = std::fmax(most, std::fabs(w));
    const double near = 2e-10 * most * std::fabs(m.multiplier) + 1e-300;
    if (!(most < 1e9 && std::fabs(m.multiplier) < 1e9)) return false;
    for (double k : m.key)
        if (!std::isfinite(k)) return false;
    const Triple key = yc_to_lab(m.key[0], m.key[1], m.key[2]);
    // L*, a*, b* weights: weight[0], weight[2], weight[1].
    const near_rules::NearLab lab{
        &m, mask, near, lab_float_key(key, {m.weight[0], m.weight[2], m.weight[1]}, m.multiplier)};
    for_each_triple_row(a, b, dst, area,
                        lab.single.usable ? HWY_DYNAMIC_DISPATCH(near_simd::near_lab_float_row)
                                          : HWY_DYNAMIC_DISPATCH(near_simd::near_lab_row),
                        lab);
    return true;
}

// The plain members' double lanes for exponents 0 and 1, keys within 2^20
// (where the lanes' fixed-point products are exact); true when they ran.
bool near_plain_lanes(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area,
                      const NearMerge& m, bool mask) {
    if (m.lab || !(m.exponent == 0 || m.exponent == 1)) return false;
    const PlainDistance distance(m);
    for (long long k : distance.key)
        if (k < -(1 << 20) || k > (1 << 20)) return false;
    const near_rules::NearLab plain{&m, mask, 1e-300, {}};
    for_each_triple_row(a, b, dst, area, HWY_DYNAMIC_DISPATCH(near_simd::near_plain_row), plain);
    return true;
}

template <class Write>
void near_space(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area,
                const NearMerge& m, const Write& write) {
    if (m.lab)
        near_rows(a, b, dst, area, LabDistance(m), write);
    else
        near_rows(a, b, dst, area, PlainDistance(m), write);
}

}  // namespace

void merge_near(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area,
                const NearMerge& m) {
    if (near_lab_lanes(a, b, dst, area, m, false) || near_plain_lanes(a, b, dst, area, m, false))
        return;
    near_space(a, b, dst, area, m, near_rules::MergeWrite{m.exponent});
}

void mask_near(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area,
               const NearMerge& m) {
    if (near_lab_lanes(a, b, dst, area, m, true) || near_plain_lanes(a, b, dst, area, m, true))
        return;
    near_space(a, b, dst, area, m, near_rules::MaskWrite{m.exponent});
}
#endif  // HWY_ONCE
