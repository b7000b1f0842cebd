// The mkmask_p and mkmask_l families: twelve masks on one row loop,
// differing only in the colour space of the distance.
//
// The Y/Cb/Cr, R/G/B and HSV members run vector code compiled for each
// instruction set and chosen at run time (Highway), exact lane by lane
// (graded_pixel.h holds the rule); so does L*a*b*, but for its cube root,
// guarded (lab_row).  The cylinder and cone members call cos and sin and
// stay per pixel.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "mask/graded_mask.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <cmath>

#include "buffers/pixel_simd-inl.h"
#include "buffers/rows.h"
#include "color/convert.h"
#include "color/lab_simd-inl.h"
#include "mask/color_spaces.h"
#include "mask/graded_mask.h"
#include "mask/graded_pixel.h"
#include "mask/space_simd-inl.h"

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
            for_each_pair_row(src, dst, area,
                              m.line ? HWY_DYNAMIC_DISPATCH(graded_simd::line_lab)
                                     : HWY_DYNAMIC_DISPATCH(graded_simd::point_lab),
                              k, m.inner, m.outer, near);
            return;
        }
    }
}
#endif  // HWY_ONCE
