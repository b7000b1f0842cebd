// The colour-key masks behind mkmask, mkmask_rgb, mkmask_hsv and
// mkmask_hsv_int: masks from a box of colour values, with an optional soft
// margin.
//
// The row loops are vector code compiled for each instruction set and
// chosen at run time (Highway).  Each step converts and grades a vector of
// pixels exactly as key_pixel does one; the pixels at the end of a row go
// through key_pixel itself.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "mask/key_mask.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "buffers/pixel_simd-inl.h"
#include "buffers/rows.h"
#include "color/convert_simd-inl.h"
#include "mask/key_mask.h"
#include "mask/key_pixel.h"

HWY_BEFORE_NAMESPACE();
namespace key_simd {
namespace HWY_NAMESPACE {

using namespace pixel_simd::HWY_NAMESPACE;  // and its alias hn

// The grade of the largest single-component excess over the box (0
// inside), in 32-bit lanes: exact while bounds and components lie within
// +-2^24 (the caller checks the bounds).  Lanes on the soft margin, whose
// grade is a double-precision ramp, are graded one by one by
// key_grade_of_excess.
template <class DI>
HWY_INLINE hn::Vec<DI> box_grade(DI di, hn::Vec<DI> c1, hn::Vec<DI> c2, hn::Vec<DI> c3,
                                 const KeyBox& box) {
    auto excess = hn::Zero(di);
    const hn::Vec<DI> c[3] = {c1, c2, c3};
    for (int k = 0; k < 3; ++k) {
        excess = hn::Max(excess, hn::Sub(hn::Set(di, box.lower[k]), c[k]));
        excess = hn::Max(excess, hn::Sub(c[k], hn::Set(di, box.upper[k])));
    }
    const auto inside = hn::Eq(excess, hn::Zero(di));
    if (box.margin > 0 &&
        !hn::AllFalse(di, hn::AndNot(inside, hn::Not(hn::Gt(excess, hn::Set(di, box.margin)))))) {
        HWY_ALIGN std::int32_t lanes[16];
        hn::Store(excess, di, lanes);
        for (size_t k = 0; k < hn::Lanes(di); ++k) lanes[k] = key_grade_of_excess(lanes[k], box);
        return hn::Load(di, lanes);
    }
    return hn::IfThenElse(inside, hn::Set(di, box.in), hn::Set(di, box.out));
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

static void key_row_rgb(const PIXEL_YC* in, PIXEL_YC* out, int n, const KeyRule& rule) {
    key_row_real<KeySpace::Rgb>(in, out, n, rule);
}
static void key_row_hsv(const PIXEL_YC* in, PIXEL_YC* out, int n, const KeyRule& rule) {
    key_row_real<KeySpace::Hsv>(in, out, n, rule);
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
