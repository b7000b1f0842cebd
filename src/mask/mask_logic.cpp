// The fuzzy set operations behind mask_not, mask_and, mask_or, mask_sub and
// mask_xor.
//
// The row loops are vector code compiled for each instruction set and
// chosen at run time (Highway), in 32-bit lanes: the products of and, or
// and sub fit 32 bits for every pair of 16-bit grades.  The second stage of
// xor does only while both grades lie within -8192..8192; a step with a
// grade beyond goes to mask_combine, which works in 64 bits, as do the
// pixels at the ends of rows.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "mask/mask_logic.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "buffers/pixel_simd-inl.h"
#include "buffers/rows.h"
#include "mask/mask_logic.h"

#if HWY_ONCE
int mask_combine(MaskOp op, int a, int b) {
    // Grades are 16-bit, so the products of and, or and sub fit 32 bits.
    // The second stage of xor multiplies values up to about 3 * 10^5 and is
    // done in 64 bits; wherever 32 bits did not overflow the result is the
    // same.
    switch (op) {
        case MaskOp::And:
            return (a * b) >> 12;
        case MaskOp::Or:
            return 4096 - (((4096 - a) * (4096 - b)) >> 12);
        case MaskOp::Sub:
            return (a * (4096 - b)) >> 12;
        case MaskOp::Xor: {
            const long long u = ((4096 - a) * b) >> 12;
            const long long v = ((4096 - b) * a) >> 12;
            return static_cast<int>(4096 - (((4096 - u) * (4096 - v)) >> 12));
        }
    }
    return 0;
}
#endif  // HWY_ONCE

HWY_BEFORE_NAMESPACE();
namespace logic_simd {
namespace HWY_NAMESPACE {

using namespace pixel_simd::HWY_NAMESPACE;  // and its alias hn

template <MaskOp Op, class DI>
HWY_INLINE hn::Vec<DI> combine(DI di, hn::Vec<DI> a, hn::Vec<DI> b) {
    const auto one = hn::Set(di, 4096);
    const auto product = [](hn::Vec<DI> x, hn::Vec<DI> y) {
        return hn::ShiftRight<12>(hn::Mul(x, y));
    };
    if constexpr (Op == MaskOp::And) return product(a, b);
    if constexpr (Op == MaskOp::Or) return hn::Sub(one, product(hn::Sub(one, a), hn::Sub(one, b)));
    if constexpr (Op == MaskOp::Sub) return product(a, hn::Sub(one, b));
    const auto u = product(hn::Sub(one, a), b);
    const auto v = product(hn::Sub(one, b), a);
    return hn::Sub(one, product(hn::Sub(one, u), hn::Sub(one, v)));
}

// Flat: the rule on every 16-bit value of the step, the results of the cb
// and cr values then replaced by 0.
template <MaskOp Op>
HWY_INLINE void combine_row(const PIXEL_YC* a, const PIXEL_YC* b, PIXEL_YC* d, int n) {
    const IntTag di;
    const Int16Tag d16;
    const int lanes = static_cast<int>(hn::Lanes(di));
    hn::Vec<IntTag> pattern[3];
    component_pattern(di, 1, 0, 0, pattern);
    hn::Mask<Int16Tag> grade_lane[3];
    for (int c = 0; c < 3; ++c)
        grade_lane[c] = hn::RebindMask(d16, hn::Eq(hn::DemoteTo(d16, pattern[c]), hn::Set(d16, 1)));
    const auto scalar = [&](int i) {
        const int g = mask_combine(Op, a[i].y, b[i].y);
        d[i].y = static_cast<std::int16_t>(g), d[i].cb = 0, d[i].cr = 0;
    };
    row_steps(
        n, lanes,
        [&](int i) {
            const std::int16_t* av = values_of(a + i);
            const std::int16_t* bv = values_of(b + i);
            std::int16_t* dv = values_of(d + i);
            hn::Vec<IntTag> va[3], vb[3];
            for (int c = 0; c < 3; ++c) {
                va[c] = hn::PromoteTo(di, hn::LoadU(d16, av + c * lanes));
                vb[c] = hn::PromoteTo(di, hn::LoadU(d16, bv + c * lanes));
            }
            if constexpr (Op == MaskOp::Xor) {
                const auto limit = hn::Set(di, 8192);
                bool wide = false;
                for (int c = 0; c < 3; ++c)
                    wide = wide || !hn::AllFalse(di, hn::Or(hn::Gt(hn::Abs(va[c]), limit),
                                                            hn::Gt(hn::Abs(vb[c]), limit)));
                if (wide) {
                    for (int k = i; k < i + lanes; ++k) scalar(k);
                    return;
                }
            }
            for (int c = 0; c < 3; ++c)
                hn::StoreU(
                    hn::IfThenElseZero(grade_lane[c], low16(d16, combine<Op>(di, va[c], vb[c]))),
                    d16, dv + c * lanes);
        },
        scalar);
}

static void and_row(const PIXEL_YC* a, const PIXEL_YC* b, PIXEL_YC* d, int n) {
    combine_row<MaskOp::And>(a, b, d, n);
}
static void or_row(const PIXEL_YC* a, const PIXEL_YC* b, PIXEL_YC* d, int n) {
    combine_row<MaskOp::Or>(a, b, d, n);
}
static void sub_row(const PIXEL_YC* a, const PIXEL_YC* b, PIXEL_YC* d, int n) {
    combine_row<MaskOp::Sub>(a, b, d, n);
}
static void xor_row(const PIXEL_YC* a, const PIXEL_YC* b, PIXEL_YC* d, int n) {
    combine_row<MaskOp::Xor>(a, b, d, n);
}

// 4096 - a, wrapping in 16-bit lanes as the low 16 bits of the int would;
// flat, the cb and cr values replaced by 0.
static void not_row(const PIXEL_YC* s, PIXEL_YC* d, int n) {
    const hn::ScalableTag<std::int16_t> d16;
    const int lanes = static_cast<int>(hn::Lanes(d16));
    const auto one = hn::Set(d16, 4096);
    hn::Vec<decltype(d16)> pattern[3];
    component_pattern(d16, 1, 0, 0, pattern);
    const std::int16_t* const sv = values_of(s);
    std::int16_t* const dv = values_of(d);
    flat_steps(
        n, lanes,
        [&](int c, int at) {
            const auto g = hn::Sub(one, hn::LoadU(d16, sv + at));
            hn::StoreU(hn::IfThenElseZero(hn::Eq(pattern[c], hn::Set(d16, 1)), g), d16, dv + at);
        },
        [&](int i) { put_grade(d[i], 4096 - s[i].y); });
}

}  // namespace HWY_NAMESPACE
}  // namespace logic_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace logic_simd {
HWY_EXPORT(and_row);
HWY_EXPORT(or_row);
HWY_EXPORT(sub_row);
HWY_EXPORT(xor_row);
HWY_EXPORT(not_row);
}  // namespace logic_simd

void mask_not(const Frame& src, const Frame& dst, const PairArea& area) {
    for_each_pair_row(src, dst, area, HWY_DYNAMIC_DISPATCH(logic_simd::not_row));
}

void mask_logic(MaskOp op, const Frame& a, const Frame& b, const Frame& dst,
                const TripleArea& area) {
    using namespace logic_simd;
    using Row = void (*)(const PIXEL_YC*, const PIXEL_YC*, PIXEL_YC*, int);
    Row row = nullptr;
    switch (op) {
        case MaskOp::And:
            row = HWY_DYNAMIC_DISPATCH(and_row);
            break;
        case MaskOp::Or:
            row = HWY_DYNAMIC_DISPATCH(or_row);
            break;
        case MaskOp::Sub:
            row = HWY_DYNAMIC_DISPATCH(sub_row);
            break;
        case MaskOp::Xor:
            row = HWY_DYNAMIC_DISPATCH(xor_row);
            break;
    }
    for_each_triple_row(a, b, dst, area, row);
}
#endif  // HWY_ONCE
