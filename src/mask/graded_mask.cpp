// The mkmask_p and mkmask_l families: twelve masks on one row loop,
// differing only in the colour space of the distance.
//
// The Y/Cb/Cr, R/G/B and HSV members run vector code compiled for each
// instruction set and chosen at run time (Highway), exact lane by lane
// (graded_pixel.h holds the rule).  The cylinder, cone and L*a*b* members
// call cos, sin or pow and stay per pixel.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "mask/graded_mask.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "buffers/pixel_simd-inl.h"
#include "buffers/rows.h"
#include "color/convert.h"
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

template <MaskSpace S, bool Line, bool Circular, class Convert>
HWY_INLINE void graded_row(const PIXEL_YC* in, PIXEL_YC* out, int n, const Convert& convert,
                           const GradedKeys& k, double inner, double outer) {
    const RealTag df;
    const auto c = [&](double v) { return hn::Set(df, v); };
    // The segment: its direction and squared length are the same for every
    // pixel (segment_distance forms them per call of its own).
    const double d1 = k.wb.a - k.wa.a, d2 = k.wb.b - k.wa.b, d3 = k.wb.c - k.wa.c;
    const bool has_length = d1 != 0 || d2 != 0 || d3 != 0;
    const double length2 = d1 * d1 + d2 * d2 + d3 * d3;
    grade_steps(
        {in}, out, n,
        [&](const RealPlanes* px, int h) {
            RealVec c1, c2, c3;
            space_components<S, false>(px[0], h, c1, c2, c3);
            RealVec d;
            if constexpr (Line) {
                const auto p1 = hn::Mul(c(k.w.a), c1), p2 = hn::Mul(c(k.w.b), c2),
                           p3 = hn::Mul(c(k.w.c), c3);
                auto t = hn::Zero(df);
                if (has_length) {
                    const auto dot = hn::Add(hn::Add(hn::Mul(c(d1), hn::Sub(p1, c(k.wa.a))),
                                                     hn::Mul(c(d2), hn::Sub(p2, c(k.wa.b)))),
                                             hn::Mul(c(d3), hn::Sub(p3, c(k.wa.c))));
                    t = hn::Div(dot, c(length2));
                    t = hn::IfThenElse(hn::Lt(t, hn::Zero(df)), hn::Zero(df),
                                       hn::IfThenElse(hn::Gt(t, c(1.0)), c(1.0), t));
                }
                const auto e1 = hn::Sub(hn::Add(c(k.wa.a), hn::Mul(t, c(d1))), p1);
                const auto e2 = hn::Sub(hn::Add(c(k.wa.b), hn::Mul(t, c(d2))), p2);
                const auto e3 = hn::Sub(hn::Add(c(k.wa.c), hn::Mul(t, c(d3))), p3);
                d = hn::Sqrt(hn::Add(hn::Add(hn::Mul(e1, e1), hn::Mul(e2, e2)), hn::Mul(e3, e3)));
            } else {
                auto t = hn::Sub(c1, c(k.ka.a));
                if constexpr (Circular) {
                    t = hn::Abs(t);
                    t = hn::IfThenElse(hn::Gt(t, c(1800.0)), hn::Sub(c(3600.0), t), t);
                }
                const auto e1 = hn::Mul(c(k.w.a), t);
                const auto e2 = hn::Mul(c(k.w.b), hn::Sub(c2, c(k.ka.b)));
                const auto e3 = hn::Mul(c(k.w.c), hn::Sub(c3, c(k.ka.c)));
                d = hn::Sqrt(hn::Add(hn::Add(hn::Mul(e1, e1), hn::Mul(e2, e2)), hn::Mul(e3, e3)));
            }
            return grade(d, inner, outer);
        },
        [&](int i) { graded_pixel<Line, Circular>(in[i], out[i], convert, k, inner, outer); });
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
            return graded_space<false>(src, dst, area, m, mask_space::Lab{}, key, w);
        }
    }
}
#endif  // HWY_ONCE
