// The mkmask_p and mkmask_l families: twelve masks on one row loop,
// differing only in the colour space of the distance.
//
// The Y/Cb/Cr, R/G/B and HSV members run vector code compiled for each
// instruction set and chosen at run time (Highway), exact lane by lane
// (graded_pixel.h holds the rule).  L*a*b* runs in float lanes with a
// bound (lab_float_row), the lanes next to a cut in double lanes, guarded
// for their cube root (lab_row), and those steps' lanes next to a cut per
// pixel.  The cylinder and cone members call cos and sin and stay per
// pixel.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "mask/graded_mask.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <cmath>

#include "buffers/pixel_simd-inl.h"
#include "buffers/rows.h"
#include "color/convert.h"
#include "color/lab_float_simd-inl.h"
#include "color/lab_simd-inl.h"
#include "mask/color_spaces.h"
#include "mask/graded_mask.h"
#include "mask/graded_pixel.h"
#include "mask/space_simd-inl.h"

#ifndef QUORVEL_MASK_GRADED_LAB_FLOAT_
#define QUORVEL_MASK_GRADED_LAB_FLOAT_
// What the L*a*b* float rows take from a call (lab_float_row): the double
// lanes' arguments for the pixels they hold back, and the float constants.
struct GradedLabFloat {
    const GradedKeys* k;
    double inner, outer, near;
    LabFloatKey key;      // the point member's key and weights
    float wa[3], dir[3];  // the line member's weighted end A and A -> B
    float length2;        // |A -> B|^2 (0: no length, t = 0)
    float length;         // |A -> B|, as a bound
    float line_floor;     // the line distance's roundings that do not grow with the pixel
    float inner_f, outer_f, ramp_scale;  // ramp_scale = 4096 / (outer - inner)
    float radius_floor;                  // e of |inner| or |outer|, the larger
    float ramp_floor;                    // |ramp_scale| e |outer| + 1e-9
};
#endif

HWY_BEFORE_NAMESPACE();
namespace graded_simd {
namespace HWY_NAMESPACE {

using namespace pixel_simd::HWY_NAMESPACE;  // and its alias hn

// distance_grade of graded_mask.h.
HWY_INLINE hn::Vec<RealIntTag> grade(hn::Vec<RealTag> d, double inner, double outer) {
    const RealTag df;
    const auto vi = hn::Set(df, inner), vo = hn::Set(df, outer);
    const auto ramp = hn::Mul(hn::Div(hn::Sub(vo, d), hn::Sub(vo, vi)), hn::Set(df, 4096.0));
    const auto v =
        hn::IfThenElse(hn::Le(d, vi), hn::Set(df, 4096.0), hn::IfThenElseZero(hn::Le(d, vo), ramp));
    return trunc_int_saturated(df, v);
}

// The segment of the line members: its direction and squared length are
// the same for every pixel (segment_distance forms them per call of its
// own).
struct Segment {
    double d1, d2, d3, length2;
    bool has_length;

    explicit Segment(const GradedKeys& k)
        : d1(k.wb.a - k.wa.a),
          d2(k.wb.b - k.wa.b),
          d3(k.wb.c - k.wa.c),
          length2(d1 * d1 + d2 * d2 + d3 * d3),
          has_length(d1 != 0 || d2 != 0 || d3 != 0) {}
};

// The weighted distance of colours (c1, c2, c3) to the key point, or to the
// segment for a line member, lane by lane in graded_pixel's operation order.
template <bool Line, bool Circular>
HWY_INLINE hn::Vec<RealTag> key_distance(hn::Vec<RealTag> c1, hn::Vec<RealTag> c2,
                                         hn::Vec<RealTag> c3, const GradedKeys& k,
                                         const Segment& s) {
    const RealTag df;
    const auto c = [&](double v) { return hn::Set(df, v); };
    if constexpr (Line) {
        const auto p1 = hn::Mul(c(k.w.a), c1), p2 = hn::Mul(c(k.w.b), c2),
                   p3 = hn::Mul(c(k.w.c), c3);
        auto t = hn::Zero(df);
        if (s.has_length) {
            const auto dot = hn::Add(hn::Add(hn::Mul(c(s.d1), hn::Sub(p1, c(k.wa.a))),
                                             hn::Mul(c(s.d2), hn::Sub(p2, c(k.wa.b)))),
                                     hn::Mul(c(s.d3), hn::Sub(p3, c(k.wa.c))));
            t = hn::Div(dot, c(s.length2));
            t = hn::IfThenElse(hn::Lt(t, hn::Zero(df)), hn::Zero(df),
                               hn::IfThenElse(hn::Gt(t, c(1.0)), c(1.0), t));
        }
        const auto e1 = hn::Sub(hn::Add(c(k.wa.a), hn::Mul(t, c(s.d1))), p1);
        const auto e2 = hn::Sub(hn::Add(c(k.wa.b), hn::Mul(t, c(s.d2))), p2);
        const auto e3 = hn::Sub(hn::Add(c(k.wa.c), hn::Mul(t, c(s.d3))), p3);
        return hn::Sqrt(hn::Add(hn::Add(hn::Mul(e1, e1), hn::Mul(e2, e2)), hn::Mul(e3, e3)));
    } else {
        auto t = hn::Sub(c1, c(k.ka.a));
        if constexpr (Circular) {
            t = hn::Abs(t);
            t = hn::IfThenElse(hn::Gt(t, c(1800.0)), hn::Sub(c(3600.0), t), t);
        }
        const auto e1 = hn::Mul(c(k.w.a), t);
        const auto e2 = hn::Mul(c(k.w.b), hn::Sub(c2, c(k.ka.b)));
        const auto e3 = hn::Mul(c(k.w.c), hn::Sub(c3, c(k.ka.c)));
        return hn::Sqrt(hn::Add(hn::Add(hn::Mul(e1, e1), hn::Mul(e2, e2)), hn::Mul(e3, e3)));
    }
}

template <MaskSpace S, bool Line, bool Circular, class Convert>
HWY_INLINE void graded_row(const PIXEL_YC* in, PIXEL_YC* out, int n, const Convert& convert,
                           const GradedKeys& k, double inner, double outer) {
    const Segment segment(k);
    grade_steps(
        {in}, out, n,
        [&](const RealPlanes* px, int h) {
            RealVec c1, c2, c3;
            space_components<S, false>(px[0], h, c1, c2, c3);
            const RealVec d = key_distance<Line, Circular>(c1, c2, c3, k, segment);
            return grade(d, inner, outer);
        },
        [&](int i) { graded_pixel<Line, Circular>(in[i], out[i], convert, k, inner, outer); });
}

// The L*a*b* members: yc_to_lab in double lanes (lab_simd-inl.h), whose
// L*, a*, b* lie within 1e-10 of the double routine's (1e-15 relative on
// values below 1e4, with a wide margin); the weighted distance moves by at
// most 2 |w| times that (the distance to a point or a segment moves no
// more than the point), plus its own roundings (1e-13 of d), the ramp by
// 4096 / |outer - inner| times that.  A step with a lane whose distance lies within `near` of the
// inner or outer radius, or whose ramp lies within its bound of a whole number, goes to
// graded_pixel whole.
template <bool Line>
HWY_INLINE void lab_row(const PIXEL_YC* in, PIXEL_YC* out, int n, const GradedKeys& k, double inner,
                        double outer, double near) {
    const RealTag df;
    const auto c = [&](double v) { return hn::Set(df, v); };
    const Segment segment(k);
    const auto vi = c(inner), vo = c(outer);
    const auto ramp_scale = c(4096 / std::fabs(outer - inner));
    const int step = real_step();
    row_steps(
        n, step,
        [&](int i) {
            RealPlanes px;
            load_real(in + i, px);
            IntParts grades;
            for (int h = 0; h < kRealParts; ++h) {
                RealVec c1, c2, c3;
                yc_to_lab(px.y[h], px.cb[h], px.cr[h], c1, c2, c3);
                const RealVec d = key_distance<Line, false>(c1, c2, c3, k, segment);
                const auto e = hn::Add(c(near), hn::Mul(d, c(1e-13)));
                const auto ramp_cut = hn::Add(hn::Mul(e, ramp_scale), c(1e-9));
                const auto ramp = hn::Mul(hn::Div(hn::Sub(vo, d), hn::Sub(vo, vi)), c(4096.0));
                const auto in_ramp = hn::And(hn::Gt(d, vi), hn::Le(d, vo));
                const auto risky = hn::Or(
                    hn::Or(hn::Le(hn::Abs(hn::Sub(d, vi)), e), hn::Le(hn::Abs(hn::Sub(d, vo)), e)),
                    hn::And(in_ramp, hn::Le(hn::Abs(hn::Sub(ramp, hn::Round(ramp))), ramp_cut)));
                if (!hn::AllFalse(df, risky)) {
                    for (int k2 = i; k2 < i + step; ++k2)
                        graded_pixel<Line, false>(in[k2], out[k2], mask_space::Lab{}, k, inner,
                                                  outer);
                    return;
                }
                grades[h] = grade(d, inner, outer);
            }
            store_grade_parts(grades, out + i);
        },
        [&](int i) {
            graded_pixel<Line, false>(in[i], out[i], mask_space::Lab{}, k, inner, outer);
        });
}

static void point_lab(const PIXEL_YC* in, PIXEL_YC* out, int n, const GradedKeys& k, double inner,
                      double outer, double near) {
    lab_row<false>(in, out, n, k, inner, outer, near);
}
static void line_lab(const PIXEL_YC* in, PIXEL_YC* out, int n, const GradedKeys& k, double inner,
                     double outer, double near) {
    lab_row<true>(in, out, n, k, inner, outer, near);
}

// The L*a*b* members in float lanes (lab_float_simd-inl.h): each lane's
// distance d within its bound E of the double routine's, then
//   point  lab_float_distance;
//   line   the distance to the segment moves no more than the weighted
//          point p, by P = sum |w| (E_c + 2.01 e |p_c|) (lab_float's bound
//          E_c of each component, the float weight and the product); the
//          float t = (D . (p - A)) / |D|^2 is off the nearest point's by at
//          most 4 e |p - A| / |D| + 2 e (four roundings of the dot, two of
//          the quotient), which moves the distance |D| times that (and the
//          double's own t by far less: 8 e used), with |p - A| <= d + |D|;
//          A + t D - p rounds within e (3 |A_c| + 3 |D_c|) plus e of the
//          result, each component, and the squares, sums and root within
//          4 e of d:
//          E = 1.001 P + 12 e (d + |D|) + 6 e d + line_floor.
// A lane is held back where d lies within E (and the float radius's
// rounding) of the inner or the outer radius, or, in the ramp, where
// 4096 (outer - d) / (outer - inner), formed as (outer - d) times
// 4096 / (outer - inner) (e each, of the radius and the factor, e of the
// difference and of the product), lies within
// |4096 / (outer - inner)| (E + e |outer - d|) + 2 e ramp + the ramp floor
// (1.001 for the roundings of the bound) of a whole number other than 0.  Held lanes, and the
// pixels left at the end of the run, go through lab_row (the double lanes) some hundreds at a time,
// with copies of their pixels taken before the step's store (out may be in).
template <bool Line>
HWY_INLINE void lab_float_row(const PIXEL_YC* in, PIXEL_YC* out, int n, const GradedLabFloat& g) {
    const LabFloatTag df;
    const IntTag di;
    const Int16Tag d16;
    const auto c = [&](float v) { return hn::Set(df, v); };
    const float e = static_cast<float>(lab_float_detail::kRounding);
    const int step = static_cast<int>(hn::Lanes(di));
    constexpr int kHeld = 512, kRoom = kHeld + 128;
    HWY_ALIGN std::int32_t held[kRoom];
    PIXEL_YC held_in[kRoom], held_out[kRoom];
    int count = 0;
    const auto flush = [&]() {
        if (count == 0) return;
        const int whole = (count + real_step() - 1) / real_step() * real_step();
        for (int k = count; k < whole; ++k) held_in[k] = held_in[count - 1];
        lab_row<Line>(held_in, held_out, whole, *g.k, g.inner, g.outer, g.near);
        for (int k = 0; k < count; ++k) out[held[k]] = held_out[k];
        count = 0;
    };
    int i = 0;
    for (; i + step <= n; i += step) {
        if (count > kHeld) flush();
        hn::Vec<Int16Tag> y16, cb16, cr16;
        load_pixels(d16, in + i, y16, cb16, cr16);
        const LabFloat lab =
            lab_float(hn::PromoteTo(di, y16), hn::PromoteTo(di, cb16), hn::PromoteTo(di, cr16));
        LabFloatVec d, error;
        if constexpr (Line) {
            const float* w = g.key.weight;
            const auto p1 = hn::Mul(c(w[0]), lab.l), p2 = hn::Mul(c(w[1]), lab.a),
                       p3 = hn::Mul(c(w[2]), lab.b);
            auto t = hn::Zero(df);
            if (g.length2 > 0) {
                const auto dot = hn::Add(hn::Add(hn::Mul(c(g.dir[0]), hn::Sub(p1, c(g.wa[0]))),
                                                 hn::Mul(c(g.dir[1]), hn::Sub(p2, c(g.wa[1])))),
                                         hn::Mul(c(g.dir[2]), hn::Sub(p3, c(g.wa[2]))));
                t = hn::Min(hn::Max(hn::Div(dot, c(g.length2)), hn::Zero(df)), c(1.0f));
            }
            const auto e1 = hn::Sub(hn::Add(c(g.wa[0]), hn::Mul(t, c(g.dir[0]))), p1);
            const auto e2 = hn::Sub(hn::Add(c(g.wa[1]), hn::Mul(t, c(g.dir[1]))), p2);
            const auto e3 = hn::Sub(hn::Add(c(g.wa[2]), hn::Mul(t, c(g.dir[2]))), p3);
            d = hn::Sqrt(hn::Add(hn::Add(hn::Mul(e1, e1), hn::Mul(e2, e2)), hn::Mul(e3, e3)));
            const auto part = [&](LabFloatVec bound, LabFloatVec p, float wc) {
                return hn::Add(hn::Mul(bound, c(std::fabs(wc))), hn::Mul(hn::Abs(p), c(2.01f * e)));
            };
            const auto moved = hn::Add(hn::Add(part(lab.el, p1, w[0]), part(lab.ea, p2, w[1])),
                                       part(lab.eb, p3, w[2]));
            error = hn::Add(
                hn::Add(hn::Mul(moved, c(1.001f)), hn::Mul(hn::Add(d, c(g.length)), c(12 * e))),
                hn::Add(hn::Mul(d, c(6 * e)), c(g.line_floor)));
        } else {
            const LabFloatDistance distance = lab_float_distance(lab, g.key);
            d = distance.d, error = distance.error;
        }
        const auto band = hn::Add(hn::Mul(error, c(1.001f)), c(g.radius_floor));
        const auto vi = c(g.inner_f), vo = c(g.outer_f);
        auto risky = hn::Or(lab.risky, hn::Or(hn::Le(hn::Abs(hn::Sub(d, vi)), band),
                                              hn::Le(hn::Abs(hn::Sub(d, vo)), band)));
        const auto gap = hn::Sub(vo, d);
        const auto ramp = hn::Mul(gap, c(g.ramp_scale));
        const auto in_ramp = hn::And(hn::Gt(d, vi), hn::Le(d, vo));
        const auto ramp_bound = hn::Add(hn::Add(hn::Mul(hn::Add(error, hn::Mul(hn::Abs(gap), c(e))),
                                                        c(std::fabs(g.ramp_scale) * 1.001f)),
                                                hn::Mul(hn::Abs(ramp), c(2 * e))),
                                        c(g.ramp_floor));
        const auto whole = hn::Abs(hn::Sub(ramp, hn::Round(ramp)));
        risky = hn::Or(risky, hn::And(in_ramp, hn::Or(hn::Gt(ramp_bound, c(0.25f)),
                                                      hn::And(hn::Ge(hn::Abs(ramp), c(0.5f)),
                                                              hn::Le(whole, ramp_bound)))));
        const auto grade = hn::IfThenElse(
            hn::RebindMask(di, hn::Le(d, vi)), hn::Set(di, 4096),
            hn::IfThenElseZero(hn::RebindMask(di, in_ramp),
                               hn::ConvertTo(di, hn::IfThenElseZero(in_ramp, ramp))));
        if (!hn::AllFalse(df, risky)) {
            const int first = count;
            count += static_cast<int>(
                hn::CompressStore(hn::Iota(di, i), hn::RebindMask(di, risky), di, held + count));
            for (int k = first; k < count; ++k) held_in[k] = in[held[k]];
        }
        store_grades(d16, hn::DemoteTo(d16, grade), out + i);
    }
    for (; i < n; ++i) held[count] = i, held_in[count] = in[i], ++count;
    flush();
}

static void point_lab_float(const PIXEL_YC* in, PIXEL_YC* out, int n, const GradedLabFloat& g) {
    lab_float_row<false>(in, out, n, g);
}
static void line_lab_float(const PIXEL_YC* in, PIXEL_YC* out, int n, const GradedLabFloat& g) {
    lab_float_row<true>(in, out, n, g);
}

#define GRADED_ROW(name, space, line, circular, convert)                                          \
    static void name(const PIXEL_YC* in, PIXEL_YC* out, int n, const GradedKeys& k, double inner, \
                     double outer) {                                                              \
        graded_row<MaskSpace::space, line, circular>(in, out, n, convert{}, k, inner, outer);     \
    }
GRADED_ROW(point_yc, Yc, false, false, mask_space::Yc)
GRADED_ROW(point_rgb, Rgb, false, false, mask_space::Rgb)
GRADED_ROW(point_hsv, Hsv, false, true, mask_space::Hsv)
GRADED_ROW(line_yc, Yc, true, false, mask_space::Yc)
GRADED_ROW(line_rgb, Rgb, true, false, mask_space::Rgb)
GRADED_ROW(line_hsv, Hsv, true, false, mask_space::Hsv)
#undef GRADED_ROW

}  // namespace HWY_NAMESPACE
}  // namespace graded_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace graded_simd {
HWY_EXPORT(point_yc);
HWY_EXPORT(point_rgb);
HWY_EXPORT(point_hsv);
HWY_EXPORT(line_yc);
HWY_EXPORT(line_rgb);
HWY_EXPORT(line_hsv);
HWY_EXPORT(point_lab);
HWY_EXPORT(line_lab);
HWY_EXPORT(point_lab_float);
HWY_EXPORT(line_lab_float);
}  // namespace graded_simd

namespace {

template <bool Line, bool Circular, class Convert>
void graded_rows(const Frame& src, const Frame& dst, const PairArea& area, const GradedMask& m,
                 const Convert& convert, const GradedKeys& k) {
    const double inner = m.inner, outer = m.outer;
    for_each_pair(src, dst, area, [&](const PIXEL_YC& in, PIXEL_YC& out) {
        graded_pixel<Line, Circular>(in, out, convert, k, inner, outer);
    });
}

// Converts the keys with `key_of` and runs the loop for the mask's shape.
template <bool Circular, class Convert, class KeyFn>
void graded_space(const Frame& src, const Frame& dst, const PairArea& area, const GradedMask& m,
                  const Convert& convert, KeyFn key_of, const Triple& w) {
    const GradedKeys k = graded_keys(key_of(m.key_a), key_of(m.key_b), w);
    if (m.line)
        graded_rows<true, false>(src, dst, area, m, convert, k);
    else
        graded_rows<false, Circular>(src, dst, area, m, convert, k);
}

// The float rows' constants (lab_float_row), usable where the weights are
// (lab_float_key) and the radii are of float size with the ramp at least
// 1e-3 wide.
GradedLabFloat graded_lab_float(const GradedKeys& k, const GradedMask& m, double near) {
    GradedLabFloat g{};
    g.k = &k, g.inner = m.inner, g.outer = m.outer, g.near = near;
    g.key = lab_float_key(k.ka, k.w, 1);
    const double span = m.outer - m.inner;
    const bool radii =
        std::fabs(m.inner) <= 1e9 && std::fabs(m.outer) <= 1e9 && std::fabs(span) >= 1e-3;
    const double wa[3] = {k.wa.a, k.wa.b, k.wa.c}, wb[3] = {k.wb.a, k.wb.b, k.wb.c};
    double ends = 0, dirs = 0, length2 = 0;
    bool sized = true;
    for (int i = 0; i < 3; ++i) {
        const double dir = wb[i] - wa[i];
        g.wa[i] = static_cast<float>(wa[i]);
        g.dir[i] = static_cast<float>(dir);
        ends += std::fabs(wa[i]), dirs += std::fabs(dir), length2 += dir * dir;
        sized = sized && std::fabs(wa[i]) <= 1e12 && std::fabs(dir) <= 1e12;
    }
    g.key.usable = g.key.usable && radii && sized;
    if (!g.key.usable) return g;
    const double e = lab_float_detail::kRounding;
    // Zero only when A and B coincide: the float |D|^2 of a non-zero D
    // below 1e-6 (weights and L*a*b* keys that close) could underflow.
    g.length2 = static_cast<float>(length2);
    if (length2 != 0 && length2 < 1e-12) g.key.usable = false;
    g.length = static_cast<float>(std::sqrt(length2) * 1.001);
    g.line_floor = static_cast<float>(3.01 * e * (ends + dirs) + g.key.floor + 1e-20);
    g.inner_f = static_cast<float>(m.inner);
    g.outer_f = static_cast<float>(m.outer);
    g.ramp_scale = static_cast<float>(4096 / span);
    g.radius_floor =
        static_cast<float>(1.01 * e * std::fmax(std::fabs(m.inner), std::fabs(m.outer)));
    g.ramp_floor =
        static_cast<float>(std::fabs(4096 / span) * 1.01 * e * std::fabs(m.outer) + 1e-9);
    return g;
}

using VectorRow = void (*)(const PIXEL_YC*, PIXEL_YC*, int, const GradedKeys&, double, double);

void vector_space(const Frame& src, const Frame& dst, const PairArea& area, const GradedMask& m,
                  const Triple& w, VectorRow point, VectorRow line) {
    const GradedKeys k = graded_keys(as_triple(m.key_a), as_triple(m.key_b), w);
    for_each_pair_row(src, dst, area, m.line ? line : point, k, m.inner, m.outer);
}

}  // namespace

void graded_mask(const Frame& src, const Frame& dst, const PairArea& area, const GradedMask& m) {
    const Triple w{m.weight[0], m.weight[1], m.weight[2]};
    const Triple unit{1, 1, 1};
    switch (m.space) {
        case MaskSpace::Yc:
            return vector_space(src, dst, area, m, w, HWY_DYNAMIC_DISPATCH(graded_simd::point_yc),
                                HWY_DYNAMIC_DISPATCH(graded_simd::line_yc));
        case MaskSpace::Rgb:
            return vector_space(src, dst, area, m, w, HWY_DYNAMIC_DISPATCH(graded_simd::point_rgb),
                                HWY_DYNAMIC_DISPATCH(graded_simd::line_rgb));
        case MaskSpace::Hsv:
            return vector_space(src, dst, area, m, w, HWY_DYNAMIC_DISPATCH(graded_simd::point_hsv),
                                HWY_DYNAMIC_DISPATCH(graded_simd::line_hsv));
        case MaskSpace::HsvP: {
            const mask_space::HsvP p{m.weight[1], m.weight[2]};
            auto key = [&p](const int k[3]) { return p.from_hsv(k[0], k[1], k[2]); };
            return graded_space<false>(src, dst, area, m, p, key, unit);
        }
        case MaskSpace::HsvC: {
            const mask_space::HsvC c{m.weight[1], m.weight[2]};
            auto key = [&c](const int k[3]) { return c.from_hsv(k[0], k[1], k[2]); };
            return graded_space<false>(src, dst, area, m, c, key, unit);
        }
        case MaskSpace::Lab: {
            auto key = [](const int k[3]) { return yc_to_lab(k[0], k[1], k[2]); };
            // The lanes' bound (lab_row): 1e-10 on each of L*, a*, b*.
            const double most =
                std::fmax(std::fabs(w.a), std::fmax(std::fabs(w.b), std::fabs(w.c)));
            const double near = 2e-10 * most + 1e-12;
            const bool finite = std::isfinite(near) && most < 1e9 && std::isfinite(m.inner) &&
                                std::isfinite(m.outer) && m.outer - m.inner != 0;
            if (!finite) return graded_space<false>(src, dst, area, m, mask_space::Lab{}, key, w);
            const GradedKeys k = graded_keys(key(m.key_a), key(m.key_b), w);
            const GradedLabFloat single = graded_lab_float(k, m, near);
            if (single.key.usable) {
                for_each_pair_row(src, dst, area,
                                  m.line ? HWY_DYNAMIC_DISPATCH(graded_simd::line_lab_float)
                                         : HWY_DYNAMIC_DISPATCH(graded_simd::point_lab_float),
                                  single);
                return;
            }
            for_each_pair_row(src, dst, area,
                              m.line ? HWY_DYNAMIC_DISPATCH(graded_simd::line_lab)
                                     : HWY_DYNAMIC_DISPATCH(graded_simd::point_lab),
                              k, m.inner, m.outer, near);
            return;
        }
    }
}
#endif  // HWY_ONCE
