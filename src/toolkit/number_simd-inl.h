// Number conversions of the vector kernels, lane by lane, compiled once per
// instruction set (include after hwy/highway.h in a file that is itself
// included once per target through hwy/foreach_target.h).
//
// Each gives exactly what its scalar rule gives one value: truncate_int is
// truncate_to_int (truncate.h, and trunc_to_int of the buffers), low16 keeps
// the low 16 bits as a component does.  Integers travel in full vectors of
// 32-bit lanes where they are summed, and in parts of as many lanes as a
// vector of doubles where they meet doubles.

// Per-target include guard (toggled by foreach_target.h).
#if defined(QUORVEL_TOOLKIT_NUMBER_SIMD_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef QUORVEL_TOOLKIT_NUMBER_SIMD_INL_H_
#undef QUORVEL_TOOLKIT_NUMBER_SIMD_INL_H_
#else
#define QUORVEL_TOOLKIT_NUMBER_SIMD_INL_H_
#endif

#include <cstdint>

#include <hwy/highway.h>

#include "toolkit/truncate.h"

HWY_BEFORE_NAMESPACE();
namespace number_simd {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

using DoubleTag = hn::ScalableTag<double>;
// 32-bit and 16-bit lanes as many as DoubleTag has.
using PartIntTag = hn::Rebind<std::int32_t, DoubleTag>;
using PartShortTag = hn::Rebind<std::int16_t, DoubleTag>;

// A full vector of 32-bit lanes holds kParts vectors of doubles (the
// portable one-lane target has no halves: one part of one lane there).
#if HWY_TARGET == HWY_SCALAR
constexpr int kParts = 1;
using WideIntTag = PartIntTag;
#else
constexpr int kParts = 2;
using WideIntTag = hn::Repartition<std::int32_t, DoubleTag>;
#endif
using WideShortTag = hn::Rebind<std::int16_t, WideIntTag>;
using DoubleVec = hn::Vec<DoubleTag>;
using PartIntVec = hn::Vec<PartIntTag>;
using WideIntVec = hn::Vec<WideIntTag>;

// The low 16 bits of 32-bit lanes, as signed 16-bit lanes (wrapping).
template <class D16, class V32>
HWY_INLINE hn::Vec<D16> low16(D16 d16, V32 v) {
    const hn::RebindToUnsigned<D16> du16;
    const hn::Rebind<std::uint32_t, D16> du32;
    return hn::BitCast(d16, hn::TruncateTo(du16, hn::BitCast(du32, v)));
}

// truncate_to_int: NaN gives 0, values beyond the 32-bit range its ends,
// the rest are truncated toward zero.  (The portable target's DemoteTo
// would also take values between -2^31 and -2^31 + 1 to -2^31: it gets the
// scalar rule itself.)
template <class DF>
HWY_INLINE hn::Vec<hn::Rebind<std::int32_t, DF>> truncate_int(DF df, hn::Vec<DF> v) {
#if HWY_TARGET == HWY_SCALAR
    (void)df;
    return hn::Set(hn::Rebind<std::int32_t, DF>(), toolkit::truncate_to_int(hn::GetLane(v)));
#else
    v = hn::IfThenZeroElse(hn::IsNaN(v), v);
    v = hn::Min(hn::Max(v, hn::Set(df, -2147483648.0)), hn::Set(df, 2147483647.0));
    return hn::DemoteTo(hn::Rebind<std::int32_t, DF>(), v);
#endif
}

// The same for values known to be numbers inside the 32-bit range.
template <class DF>
HWY_INLINE hn::Vec<hn::Rebind<std::int32_t, DF>> truncate_int_in_range(DF df, hn::Vec<DF> v) {
#if HWY_TARGET == HWY_SCALAR
    return truncate_int(df, v);
#else
    (void)df;
    return hn::DemoteTo(hn::Rebind<std::int32_t, DF>(), v);
#endif
}

// trunc(t / d) for integers |t| < 2^31 and 1 <= |d| <= 65535, given
// inverse = 1.0 / d: exactly what truncating the double quotient gives, at
// the cost of a multiplication.  t * inverse is within 2^-21 of t / d, and
// a quotient that is not an integer lies at least 1 / |d| >= 2^-16 from the
// nearest one; nudging the product 2^-18 away from zero therefore lands on
// the same side of every integer as the exact quotient, an exact integer
// quotient included.  The result is for truncate_int_in_range.
template <class DF>
HWY_INLINE hn::Vec<DF> quotient_to_truncate(DF df, hn::Vec<DF> t, double inverse) {
    const hn::Vec<DF> q = hn::Mul(t, hn::Set(df, inverse));
    return hn::Add(q, hn::CopySign(hn::Set(df, 0x1p-18), q));
}

// Doubles rounded to floats as a cast rounds them, infinities and values
// beyond the float range to infinity (the portable target's DemoteTo would
// stop at the largest float).
template <class DF32>
HWY_INLINE hn::Vec<DF32> to_float(DF32 df32, hn::Vec<hn::Rebind<double, DF32>> v) {
#if HWY_TARGET == HWY_SCALAR
    return hn::Set(df32, static_cast<float>(hn::GetLane(v)));
#else
    return hn::DemoteTo(df32, v);
#endif
}

// The parts of a full vector of 32-bit lanes as doubles, lowest lanes
// first, and parts of 32-bit lanes joined into a full vector.
HWY_INLINE void to_double_parts(WideIntVec v, DoubleVec (&parts)[kParts]) {
    const DoubleTag df;
#if HWY_TARGET == HWY_SCALAR
    parts[0] = hn::PromoteTo(df, v);
#else
    const hn::Half<WideIntTag> dh;
    parts[0] = hn::PromoteTo(df, hn::LowerHalf(dh, v));
    parts[1] = hn::PromoteTo(df, hn::UpperHalf(dh, v));
#endif
}

HWY_INLINE WideIntVec join_parts(const PartIntVec (&parts)[kParts]) {
#if HWY_TARGET == HWY_SCALAR
    return parts[0];
#else
    return hn::Combine(WideIntTag(), parts[1], parts[0]);
#endif
}

}  // namespace HWY_NAMESPACE
}  // namespace number_simd
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
