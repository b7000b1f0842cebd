// mkmask_diff, mkmask_diff_rgb, mkmask_diff_hsv, mkmask_diff_hsv_p,
// mkmask_diff_hsv_c, mkmask_diff_lab: one row loop, one grade rule, a
// conversion and a distance per colour space.
//
// The Y/Cb/Cr, R/G/B and HSV members run vector code compiled for each
// instruction set and chosen at run time (Highway), exact lane by lane
// (difference_pixel.h holds their rule).  Their fixed-point products are
// formed in doubles: a difference below 2^18 times a weight below 2^31 is
// exact there, and the flooring shift is an exact multiplication by 2^-12
// and a floor.  The cylinder, cone and L*a*b* members call cos, sin or pow
// and stay per pixel.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "mask/difference_mask.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <cmath>

#include "buffers/pixel_simd-inl.h"
#include "buffers/rows.h"
#include "mask/difference_mask.h"
#include "mask/difference_pixel.h"
#include "mask/space_simd-inl.h"

HWY_BEFORE_NAMESPACE();
namespace difference_simd {
namespace HWY_NAMESPACE {

using namespace pixel_simd::HWY_NAMESPACE;  // and its alias hn

// difference_grade of difference_mask.h.
HWY_INLINE hn::Vec<RealIntTag> grade(hn::Vec<RealTag> d, double gain, double threshold) {
    const RealTag df;
    const RealIntTag di;
    const auto x = hn::Mul(d, hn::Set(df, gain));
    const auto none = hn::Or(hn::Lt(x, hn::Set(df, threshold)), hn::IsNaN(x));
    const auto v = trunc_int_saturated(df, hn::IfThenZeroElse(none, x));
    return hn::Min(hn::Max(v, hn::Zero(di)), hn::Set(di, 4096));
}

template <MaskSpace S>
HWY_INLINE void difference_row(const PIXEL_YC* a, const PIXEL_YC* b, PIXEL_YC* d, int n,
                               const DifferenceMask& m) {
    const RealTag df;
    const FixedWeights f = fixed_weights(m.weight);
    grade_steps(
        {a, b}, d, n,
        [&](const RealPlanes* px, int h) {
            RealVec a1, a2, a3, b1, b2, b3;
            space_components<S, true>(px[0], h, a1, a2, a3);
            space_components<S, true>(px[1], h, b1, b2, b3);
            RealVec e1, e2, e3;
            if constexpr (S == MaskSpace::Hsv) {
                auto t = hn::Abs(hn::Sub(a1, b1));
                t = hn::IfThenElse(hn::Gt(t, hn::Set(df, 1800.0)), hn::Sub(hn::Set(df, 3600.0), t),
                                   t);
                e1 = hn::Mul(hn::Set(df, m.weight[0]), t);
                e2 = hn::Mul(hn::Set(df, m.weight[1]), hn::Sub(a2, b2));
                e3 = hn::Mul(hn::Set(df, m.weight[2]), hn::Sub(a3, b3));
            } else {
                // ((a - b) * W) >> 12: the product is exact, the shift a floor.
                const auto unit = hn::Set(df, 1.0 / 4096);
                const auto fixed = [&](RealVec x, RealVec y, long long w) {
                    return hn::Floor(hn::Mul(hn::Mul(hn::Sub(x, y), hn::Set(df, double(w))), unit));
                };
                e1 = fixed(a1, b1, f.w[0]), e2 = fixed(a2, b2, f.w[1]), e3 = fixed(a3, b3, f.w[2]);
            }
            const auto s = hn::Add(hn::Add(hn::Mul(e1, e1), hn::Mul(e2, e2)), hn::Mul(e3, e3));
            return grade(hn::Sqrt(s), m.gain, m.threshold);
        },
        [&](int i) { difference_pixel<S>(a[i], b[i], d[i], m, f); });
}

static void difference_row_yc(const PIXEL_YC* a, const PIXEL_YC* b, PIXEL_YC* d, int n,
                              const DifferenceMask& m) {
    difference_row<MaskSpace::Yc>(a, b, d, n, m);
}
static void difference_row_rgb(const PIXEL_YC* a, const PIXEL_YC* b, PIXEL_YC* d, int n,
                               const DifferenceMask& m) {
    difference_row<MaskSpace::Rgb>(a, b, d, n, m);
}
static void difference_row_hsv(const PIXEL_YC* a, const PIXEL_YC* b, PIXEL_YC* d, int n,
                               const DifferenceMask& m) {
    difference_row<MaskSpace::Hsv>(a, b, d, n, m);
}

}  // namespace HWY_NAMESPACE
}  // namespace difference_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace difference_simd {
HWY_EXPORT(difference_row_yc);
HWY_EXPORT(difference_row_rgb);
HWY_EXPORT(difference_row_hsv);
}  // namespace difference_simd

namespace {

template <class Convert, class Distance>
void difference_rows(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area,
                     const DifferenceMask& m, const Convert& convert, const Distance& distance) {
    const double gain = m.gain, threshold = m.threshold;
    for_each_triple(a, b, dst, area, [&](const PIXEL_YC& pa, const PIXEL_YC& pb, PIXEL_YC& out) {
        const double d = distance(convert(pa), convert(pb));
        put_grade(out, difference_grade(d, gain, threshold));
    });
}

// The plain Euclidean distance of the converted points.
struct UnitDistance {
    double operator()(const Triple& a, const Triple& b) const {
        static constexpr double kOne[3] = {1, 1, 1};
        return weighted_distance<false>(a, b, kOne);
    }
};

struct LabDistance {
    double w[3];
    double operator()(const Triple& a, const Triple& b) const {
        return weighted_distance<false>(a, b, w);
    }
};

}  // namespace

void difference_mask(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area,
                     const DifferenceMask& m) {
    using namespace difference_simd;
    switch (m.space) {
        case MaskSpace::Yc:
            return for_each_triple_row(a, b, dst, area, HWY_DYNAMIC_DISPATCH(difference_row_yc), m);
        case MaskSpace::Rgb:
            return for_each_triple_row(a, b, dst, area, HWY_DYNAMIC_DISPATCH(difference_row_rgb),
                                       m);
        case MaskSpace::Hsv:
            return for_each_triple_row(a, b, dst, area, HWY_DYNAMIC_DISPATCH(difference_row_hsv),
                                       m);
        case MaskSpace::HsvP:
            return difference_rows(a, b, dst, area, m, mask_space::HsvP{m.weight[0], m.weight[1]},
                                   UnitDistance{});
        case MaskSpace::HsvC:
            return difference_rows(a, b, dst, area, m, mask_space::HsvC{m.weight[0], m.weight[1]},
                                   UnitDistance{});
        case MaskSpace::Lab:
            return difference_rows(a, b, dst, area, m, mask_space::Lab{},
                                   LabDistance{{m.weight[0], m.weight[1], m.weight[2]}});
    }
}
#endif  // HWY_ONCE
