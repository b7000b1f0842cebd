// The bilinear sampler (bilinear.h) of rotate and affine, compiled once per
// instruction set (include after hwy/highway.h in a file that is itself
// included once per target through hwy/foreach_target.h).
//
// The three components of a sample go through one vector together: each
// row's pair of taps is put side by side (y0 y1 cb0 cb1 cr0 cr1) and
// weighted by one multiply-add of 16-bit pairs; the vertical step, whose
// operands pass 16 bits, is split into the high and low bytes of each row
// value,
//   floor(((256 T1 + T0)(256 - fy) + (256 B1 + B0) fy) / 65536)
//     = (S1 + (S0 >> 8)) >> 8,  S1 = T1 (256 - fy) + B1 fy, S0 likewise,
// which is the same integer.  Reads stay within the four taps' 24 bytes.
// The portable one-lane target takes bilinear_sample itself.

// Per-target include guard (toggled by foreach_target.h).
#if defined(QUORVEL_GEOMETRY_BILINEAR_SIMD_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef QUORVEL_GEOMETRY_BILINEAR_SIMD_INL_H_
#undef QUORVEL_GEOMETRY_BILINEAR_SIMD_INL_H_
#else
#define QUORVEL_GEOMETRY_BILINEAR_SIMD_INL_H_
#endif

#include <cstdint>
#include <cstring>

#include <hwy/highway.h>

#include "buffers/frame.h"
#include "geometry/bilinear.h"

HWY_BEFORE_NAMESPACE();
namespace bilinear_simd {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET != HWY_SCALAR
// Sums of products of neighbouring 16-bit lanes of a and w, as 32-bit lanes.
HWY_INLINE hn::Vec<hn::Full128<std::int32_t>> pair_products(hn::Vec<hn::Full128<std::int16_t>> a,
                                                            hn::Vec<hn::Full128<std::int16_t>> w) {
    const hn::Full128<std::int32_t> d32;
    auto odd = hn::Zero(d32);
    const auto even = hn::ReorderWidenMulAccumulate(d32, a, w, hn::Zero(d32), odd);
    return hn::RearrangeToOddPlusEven(even, odd);
}

// (256 - f) in the low and f in the high 16 bits of every 32-bit lane.
HWY_INLINE hn::Vec<hn::Full128<std::int16_t>> pair_weights(int f) {
    const hn::Full128<std::int32_t> d32;
    return hn::BitCast(hn::Full128<std::int16_t>(), hn::Set(d32, (f << 16) | (256 - f)));
}

// One row's two taps, r[0] (256 - fx) + r[1] fx, per component in the
// first three 32-bit lanes.
HWY_INLINE hn::Vec<hn::Full128<std::int32_t>> row_taps(const PIXEL_YC* r,
                                                       hn::Vec<hn::Full128<std::int16_t>> wx) {
    const hn::Full64<std::int16_t> d4;
    const hn::Full128<std::int16_t> d8;
    const std::int16_t* s = &r->y;
    const auto first = hn::ZeroExtendVector(d8, hn::LoadU(d4, s));  // y0 cb0 cr0 y1
    const auto second =
        hn::ShiftRightLanes<1>(d8, hn::ZeroExtendVector(d8, hn::LoadU(d4, s + 2)));  // y1 cb1 cr1
    return pair_products(hn::InterleaveLower(d8, first, second), wx);
}
#endif

// The sample from the taps' positions: p00 = r0[0], p10 = r0[1],
// p01 = r1[0], p11 = r1[1].
HWY_INLINE PIXEL_YC bilinear_taps(const PIXEL_YC* r0, const PIXEL_YC* r1, int fx, int fy) {
#if HWY_TARGET == HWY_SCALAR
    return bilinear_sample(r0[0], r0[1], r1[0], r1[1], fx, fy);
#else
    const hn::Full128<std::int32_t> d32;
    const hn::Full128<std::int16_t> d16;
    const auto wx = pair_weights(fx), wy = pair_weights(fy);
    const auto top = row_taps(r0, wx), bottom = row_taps(r1, wx);
    const auto word = hn::Set(d32, 0xffff), low = hn::Set(d32, 255);
    const auto high =
        hn::Or(hn::And(hn::ShiftRight<8>(top), word), hn::ShiftLeft<16>(hn::ShiftRight<8>(bottom)));
    const auto lows = hn::Or(hn::And(top, low), hn::ShiftLeft<16>(hn::And(bottom, low)));
    const auto s1 = pair_products(hn::BitCast(d16, high), wy);
    const auto s0 = pair_products(hn::BitCast(d16, lows), wy);
    const auto v = hn::ShiftRight<8>(hn::Add(s1, hn::ShiftRight<8>(s0)));
    std::int16_t values[4];
    hn::StoreU(hn::DemoteTo(hn::Full64<std::int16_t>(), v), hn::Full64<std::int16_t>(), values);
    PIXEL_YC out;
    std::memcpy(&out, values, sizeof out);
    return out;
#endif
}

// The sample at (ix, iy) + (fx, fy) / 256 of `src`; `single` when (ix, iy)
// is on the last column or row of the readable area.
HWY_INLINE PIXEL_YC sample_at(const Frame& src, int ix, int iy, int fx, int fy, bool single) {
    const PIXEL_YC* r0 = src.row(iy) + ix;
    if (single) return *r0;
    return bilinear_taps(r0, r0 + src.max_w, fx, fy);
}

}  // namespace HWY_NAMESPACE
}  // namespace bilinear_simd
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
