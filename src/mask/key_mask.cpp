// The colour-key masks behind mkmask, mkmask_rgb, mkmask_hsv and
// mkmask_hsv_int: masks from a box of colour values, with an optional soft
// margin.
//
// The row loops are vector code compiled for each instruction set and
// chosen at run time (Highway).  Each step converts and grades a vector of
// pixels exactly as key_pixel does one (mkmask_hsv in single precision,
// guarded, the others exactly lane by lane); the pixels at the end of a row
// go through key_pixel itself.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "mask/key_mask.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "buffers/pixel_simd-inl.h"
#include "buffers/rows.h"
#include "color/convert_simd-inl.h"
#include "color/hsv_float_simd-inl.h"
#include "mask/key_mask.h"
#include "mask/key_pixel.h"

HWY_BEFORE_NAMESPACE();
namespace key_simd {
namespace HWY_NAMESPACE {

using namespace pixel_simd::HWY_NAMESPACE;  // and its alias hn

// A component's excess over its side of the box (0 inside).
template <class DI>
HWY_INLINE hn::Vec<DI> component_excess(DI di, hn::Vec<DI> c, int k, const KeyBox& box) {
    return hn::Max(hn::Max(hn::Sub(hn::Set(di, box.lower[k]), c), hn::Sub(c, hn::Set(di, box.upper[k]))),
                   hn::Zero(di));
}

// key_grade_of_excess's ramp on the soft margin, in double lanes: the same
// operations in the same order (the product is a whole number below 2^47,
// exact), so each lane is the per-pixel grade.  Excesses beyond the margin
// are cut to it first (their lanes are not used) to stay in range.
template <class DI>
HWY_INLINE hn::Vec<DI> ramp_grades(DI di, hn::Vec<DI> excess, const KeyBox& box) {
#if HWY_TARGET == HWY_SCALAR
    (void)di;
    return hn::Set(di, key_grade_of_excess(hn::GetLane(excess), box));
#else
    const hn::Half<DI> dh;
    const hn::Rebind<double, decltype(dh)> dd;
    const auto d = hn::Min(excess, hn::Set(di, box.margin));
    const auto ramp = [&](hn::Vec<decltype(dh)> part) {
        const auto left = hn::Sub(hn::Set(dd, box.margin), hn::PromoteTo(dd, part));
        const auto r = hn::Div(hn::Mul(hn::Set(dd, static_cast<double>(box.in - box.out)), left),
                               hn::Set(dd, box.margin));
        return trunc_int(dd, hn::Add(hn::Set(dd, box.out), r));
    };
    return hn::Combine(di, ramp(hn::UpperHalf(dh, d)), ramp(hn::LowerHalf(dh, d)));
#endif
}

// The grade of the largest single-component excess over the box, in 32-bit
// lanes: exact while bounds and components lie within +-2^24 (the caller
// checks the bounds).
template <class DI>
HWY_INLINE hn::Vec<DI> grade_of_excess(DI di, hn::Vec<DI> excess, const KeyBox& box) {
    const auto inside = hn::Eq(excess, hn::Zero(di));
    const auto beyond = hn::Gt(excess, hn::Set(di, box.margin));
    const auto in_or_out = hn::IfThenElse(inside, hn::Set(di, box.in), hn::Set(di, box.out));
    if (box.margin > 0 && !hn::AllFalse(di, hn::Not(hn::Or(inside, beyond))))
        return hn::IfThenElse(hn::Or(inside, beyond), in_or_out, ramp_grades(di, excess, box));
    return in_or_out;
}

template <class DI>
HWY_INLINE hn::Vec<DI> box_grade(DI di, hn::Vec<DI> c1, hn::Vec<DI> c2, hn::Vec<DI> c3,
                                 const KeyBox& box) {
    const auto excess = hn::Max(component_excess(di, c1, 0, box),
                                hn::Max(component_excess(di, c2, 1, box), component_excess(di, c3, 2, box)));
    return grade_of_excess(di, excess, box);
}

static void key_row_yc(const PIXEL_YC* in, PIXEL_YC* out, int n, const KeyRule& rule) {
    const IntTag di;
    const Int16Tag d16;
    row_steps(
        n, static_cast<int>(hn::Lanes(di)),
        [&](int i) {
            hn::Vec<Int16Tag> y, cb, cr;
            load_pixels(d16, in + i, y, cb, cr);
            const auto grade = box_grade(di, hn::PromoteTo(di, y), hn::PromoteTo(di, cb),
                                         hn::PromoteTo(di, cr), rule.box);
            store_grades(d16, hn::DemoteTo(d16, grade), out + i);
        },
        [&](int i) { key_pixel<KeySpace::Yc>(in[i], out[i], rule); });
}

// The larger excess of the second and third components over the box (0
// inside): a lower bound of the excess box_grade finds.
template <class DI>
HWY_INLINE hn::Vec<DI> sv_excess(DI di, hn::Vec<DI> c2, hn::Vec<DI> c3, const KeyBox& box) {
    const auto excess = [&](hn::Vec<DI> c, int k) {
        return hn::Max(hn::Sub(hn::Set(di, box.lower[k]), c),
                       hn::Sub(c, hn::Set(di, box.upper[k])));
    };
    return hn::Max(excess(c2, 1), excess(c3, 2));
}

// The hue shift of a range through 0 (see KeyRule).
template <class DI>
HWY_INLINE hn::Vec<DI> shift_hue(DI di, hn::Vec<DI> h, const KeyRule& rule) {
    if (!rule.shift_hue) return h;
    return hn::IfThenElse(hn::Lt(h, hn::Set(di, rule.wrap_from)), h, hn::Sub(h, hn::Set(di, 3600)));
}

// rgb_to_hsv_int of convert.h on truncated R, G, B.  Its divisions have
// numerators below 2^25 and divisors of 1..4096, so the double quotient,
// truncated, is the integer quotient: a quotient that is not whole lies at
// least 1/4096 from the next whole number, far more than the rounding.
template <class DF>
HWY_INLINE void rgb_to_hsv_int(DF df, hn::Vec<hn::Rebind<std::int32_t, DF>> r,
                               hn::Vec<hn::Rebind<std::int32_t, DF>> g,
                               hn::Vec<hn::Rebind<std::int32_t, DF>> b,
                               hn::Vec<hn::Rebind<std::int32_t, DF>>& h,
                               hn::Vec<hn::Rebind<std::int32_t, DF>>& s,
                               hn::Vec<hn::Rebind<std::int32_t, DF>>& v) {
    using DI = hn::Rebind<std::int32_t, DF>;
    const DI di;
    const auto zero = hn::Zero(di), top = hn::Set(di, 4096);
    r = hn::Min(hn::Max(r, zero), top);
    g = hn::Min(hn::Max(g, zero), top);
    b = hn::Min(hn::Max(b, zero), top);
    const auto max = hn::Max(r, hn::Max(g, b));
    const auto min = hn::Min(r, hn::Min(g, b));
    const auto d = hn::Sub(max, min);
    const auto flat = hn::Eq(d, zero);  // also max = 0
    const auto quotient = [&](hn::Vec<DI> num, hn::Vec<DI> den) {
        return hn::DemoteTo(di, hn::Div(hn::PromoteTo(df, num), hn::PromoteTo(df, den)));
    };
    const auto one = hn::Set(di, 1);
    const auto dd = hn::IfThenElse(flat, one, d);  // no division by zero in flat lanes
    const auto mm = hn::IfThenElse(flat, one, max);
    const auto sat = quotient(hn::ShiftLeft<12>(d), mm);
    const auto rp = quotient(hn::ShiftLeft<12>(hn::Sub(max, r)), dd);
    const auto gp = quotient(hn::ShiftLeft<12>(hn::Sub(max, g)), dd);
    const auto bp = quotient(hn::ShiftLeft<12>(hn::Sub(max, b)), dd);
    const auto raw =
        hn::IfThenElse(hn::Eq(r, max), hn::Sub(bp, gp),
                       hn::IfThenElse(hn::Eq(g, max), hn::Add(hn::Sub(rp, bp), hn::Set(di, 8192)),
                                      hn::Add(hn::Sub(gp, rp), hn::Set(di, 16384))));
    // (raw * 600) / 4096 truncating toward zero: a negative product is
    // raised by 4095 before the flooring shift.
    const auto product = hn::Mul(raw, hn::Set(di, 600));
    auto hue = hn::ShiftRight<12>(
        hn::Add(product, hn::And(hn::ShiftRight<31>(product), hn::Set(di, 4095))));
    hue = hn::IfThenElse(hn::Lt(hue, zero), hn::Add(hue, hn::Set(di, 3600)), hue);
    h = hn::IfThenZeroElse(flat, hue);
    s = hn::IfThenZeroElse(flat, sat);
    v = max;
}

// The RGB and HSV keys, in double lanes.
template <KeySpace S>
void key_row_real(const PIXEL_YC* in, PIXEL_YC* out, int n, const KeyRule& rule) {
    const RealTag df;
    const RealIntTag di;
    const auto beyond = hn::Set(di, rule.box.margin > 0 ? rule.box.margin : 0);
    grade_steps(
        {in}, out, n,
        [&](const RealPlanes* px, int h) {
            RealVec r, g, b;
            yc_to_rgb(df, px[0].y[h], px[0].cb[h], px[0].cr[h], r, g, b);
            RealIntVec c1, c2, c3;
            if constexpr (S == KeySpace::Hsv) {
                r = clamp_rgb(df, r), g = clamp_rgb(df, g), b = clamp_rgb(df, b);
                RealVec sat;
                const HsvParts<RealTag> parts = hsv_saturation(df, r, g, b, sat);
                c2 = trunc_int(df, sat), c3 = trunc_int(df, parts.max);
                // When S and V alone put every pixel beyond the margin,
                // H cannot change a grade: the hue is not worked out.
                if (hn::AllTrue(di, hn::Gt(sv_excess(di, c2, c3, rule.box), beyond)))
                    return hn::Set(di, rule.box.out);
                c1 = trunc_int(df, hsv_hue(df, r, g, b, parts));
            } else if constexpr (S == KeySpace::HsvInt) {
                rgb_to_hsv_int(df, trunc_int(df, r), trunc_int(df, g), trunc_int(df, b), c1, c2,
                               c3);
            } else {
                c1 = trunc_int(df, r), c2 = trunc_int(df, g), c3 = trunc_int(df, b);
            }
            if constexpr (S != KeySpace::Rgb) c1 = shift_hue(di, c1, rule);
            return box_grade(di, c1, c2, c3, rule.box);
        },
        [&](int i) { key_pixel<S>(in[i], out[i], rule); });
}

// mkmask_hsv in single-precision lanes.  H, S and V of hsv_float lie
// within their bounds (hsv_guard.h) of the double routine's, and are never
// negative; so each truncation is the float's, or, where a whole number w
// lies within the bound, w - 1 or w.  The excess over the box is worked out
// for both candidates of each component, every excess beyond the soft
// margin counted as one: where the two give the same largest excess, the
// grade is the double's whatever the truncation was (next to a whole number
// well inside or well outside the box, which is where saturated and clipped
// colours sit).  A step with a lane where they
// differ, or that the float form cannot vouch for (flagged risky), is
// graded by the double lanes.  A result is thus the double result, bit for
// bit.
static void key_row_hsv(const PIXEL_YC* in, PIXEL_YC* out, int n, const KeyRule& rule) {
    const IntTag di;
    const Int16Tag d16;
    const FloatTag df;
    const int step = static_cast<int>(hn::Lanes(di));
    const float bound[3] = {static_cast<float>(kHueError), static_cast<float>(kSaturationError),
                            static_cast<float>(kValueError)};
    // Every excess beyond the soft margin grades alike (box.out).
    const int margin = rule.box.margin < 0 ? 0 : rule.box.margin > (1 << 26) ? 1 << 26 : rule.box.margin;
    const auto beyond = hn::Set(di, margin + 1);
    row_steps(
        n, step,
        [&](int i) {
            hn::Vec<Int16Tag> y, cb, cr;
            load_pixels(d16, in + i, y, cb, cr);
            const HsvFloat hsv =
                hsv_float(hn::PromoteTo(di, y), hn::PromoteTo(di, cb), hn::PromoteTo(di, cr));
            if (!hn::AllFalse(df, hsv.risky))
                return key_row_real<KeySpace::Hsv>(in + i, out + i, step, rule);
            const FloatVec x[3] = {hsv.h, hsv.s, hsv.v};
            const FloatMask exact[3] = {hsv.exact_h, hsv.exact_s, hsv.exact_v};
            FloatMask near[3];
            for (int k = 0; k < 3; ++k)
                near[k] = hn::AndNot(exact[k], near_cut(x[k], hn::Set(df, bound[k])));
            if (hn::AllFalse(df, hn::Or(near[0], hn::Or(near[1], near[2])))) {
                const auto h = shift_hue(di, hn::ConvertTo(di, hsv.h), rule);
                const auto grade =
                    box_grade(di, h, hn::ConvertTo(di, hsv.s), hn::ConvertTo(di, hsv.v), rule.box);
                return store_grades(d16, hn::DemoteTo(d16, grade), out + i);
            }
            auto least = hn::Zero(di), most = hn::Zero(di);
            for (int k = 0; k < 3; ++k) {
                auto high = hn::ConvertTo(di, hn::IfThenElse(near[k], hn::Round(x[k]), x[k]));
                auto low = hn::Add(high, hn::VecFromMask(di, hn::RebindMask(di, near[k])));  // - 1
                if (k == 0) high = shift_hue(di, high, rule), low = shift_hue(di, low, rule);
                const auto eh = hn::Min(component_excess(di, high, k, rule.box), beyond);
                const auto el = hn::Min(component_excess(di, low, k, rule.box), beyond);
                least = hn::Max(least, hn::Min(eh, el));
                most = hn::Max(most, hn::Max(eh, el));
            }
            if (!hn::AllTrue(di, hn::Eq(least, most)))
                return key_row_real<KeySpace::Hsv>(in + i, out + i, step, rule);
            store_grades(d16, hn::DemoteTo(d16, grade_of_excess(di, most, rule.box)), out + i);
        },
        [&](int i) { key_pixel<KeySpace::Hsv>(in[i], out[i], rule); });
}

static void key_row_rgb(const PIXEL_YC* in, PIXEL_YC* out, int n, const KeyRule& rule) {
    key_row_real<KeySpace::Rgb>(in, out, n, rule);
}
static void key_row_hsv_int(const PIXEL_YC* in, PIXEL_YC* out, int n, const KeyRule& rule) {
    key_row_real<KeySpace::HsvInt>(in, out, n, rule);
}

}  // namespace HWY_NAMESPACE
}  // namespace key_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace key_simd {

HWY_EXPORT(key_row_yc);
HWY_EXPORT(key_row_rgb);
HWY_EXPORT(key_row_hsv);
HWY_EXPORT(key_row_hsv_int);

namespace {

using KeyRow = void (*)(const PIXEL_YC*, PIXEL_YC*, int, const KeyRule&);

// The vector excesses are 32-bit: bounds beyond +-2^24 (never met in
// practice) are left to the per-pixel rule, which works in 64 bits.
bool vector_bounds(const KeyBox& box) {
    constexpr int kLimit = 1 << 24;
    for (int k = 0; k < 3; ++k)
        if (box.lower[k] < -kLimit || box.lower[k] > kLimit || box.upper[k] < -kLimit ||
            box.upper[k] > kLimit)
            return false;
    return true;
}

template <KeySpace S>
void key_mask(const Frame& src, const Frame& dst, const PairArea& area, const KeyBox& box,
              KeyRow row) {
    const KeyRule rule = key_rule(box, S == KeySpace::Hsv || S == KeySpace::HsvInt);
    if (!vector_bounds(rule.box)) {
        for_each_pair(src, dst, area,
                      [&rule](const PIXEL_YC& in, PIXEL_YC& out) { key_pixel<S>(in, out, rule); });
        return;
    }
    for_each_pair_row(src, dst, area, row, rule);
}

}  // namespace
}  // namespace key_simd

void key_mask_yc(const Frame& src, const Frame& dst, const PairArea& area, const KeyBox& box) {
    using namespace key_simd;
    key_mask<KeySpace::Yc>(src, dst, area, box, HWY_DYNAMIC_DISPATCH(key_row_yc));
}
void key_mask_rgb(const Frame& src, const Frame& dst, const PairArea& area, const KeyBox& box) {
    using namespace key_simd;
    key_mask<KeySpace::Rgb>(src, dst, area, box, HWY_DYNAMIC_DISPATCH(key_row_rgb));
}
void key_mask_hsv(const Frame& src, const Frame& dst, const PairArea& area, const KeyBox& box) {
    using namespace key_simd;
    key_mask<KeySpace::Hsv>(src, dst, area, box, HWY_DYNAMIC_DISPATCH(key_row_hsv));
}
void key_mask_hsv_int(const Frame& src, const Frame& dst, const PairArea& area, const KeyBox& box) {
    using namespace key_simd;
    key_mask<KeySpace::HsvInt>(src, dst, area, box, HWY_DYNAMIC_DISPATCH(key_row_hsv_int));
}
#endif  // HWY_ONCE
