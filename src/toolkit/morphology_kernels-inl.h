// The vector row loops of morphology, compiled once per instruction set
// (Highway's per-target inclusion: include this after hwy/highway.h in a
// file that is itself included once per target through
// hwy/foreach_target.h).  Exact integer minimum and maximum over rows of
// 16-bit cells: combining reads, building a doubling level in place,
// merging a run into an output row.

// Per-target include guard (toggled by foreach_target.h).
#if defined(QUORVEL_TOOLKIT_MORPHOLOGY_KERNELS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef QUORVEL_TOOLKIT_MORPHOLOGY_KERNELS_INL_H_
#undef QUORVEL_TOOLKIT_MORPHOLOGY_KERNELS_INL_H_
#else
#define QUORVEL_TOOLKIT_MORPHOLOGY_KERNELS_INL_H_
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>

#include <hwy/highway.h>

#include "toolkit/grey_morphology.h"

HWY_BEFORE_NAMESPACE();
namespace toolkit::morphology_detail {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;
using D16 = hn::ScalableTag<std::int16_t>;

template <bool Erode, class V>
HWY_INLINE V Ext(V a, V b) {
    if constexpr (Erode)
        return hn::Min(a, b);
    else
        return hn::Max(a, b);
}

template <bool Erode>
HWY_INLINE short ext1(short a, short b) {
    if constexpr (Erode)
        return a < b ? a : b;
    else
        return a > b ? a : b;
}

// buf[t] = ext(buf[t], buf[t + step]) for t < n, in place: each step loads
// both operands before it stores, and later steps read only cells at or
// beyond their own start, which no earlier step has written.
template <bool Erode>
HWY_INLINE void level_up(short* buf, std::size_t n, std::size_t step) {
    const D16 d;
    const std::size_t N = hn::Lanes(d);
    std::size_t t = 0;
    for (; t + N <= n; t += N) {
        const auto a = hn::LoadU(d, buf + t);
        const auto b = hn::LoadU(d, buf + t + step);
        hn::StoreU(Ext<Erode>(a, b), d, buf + t);
    }
    for (; t < n; ++t) buf[t] = ext1<Erode>(buf[t], buf[t + step]);
}

// dst[x] = the extreme of src[i][x] over i < M, for x < n, with the reads
// known at compile time.
template <bool Erode, std::size_t M>
HWY_INLINE void combine_fixed(const short* const* src, short* dst, std::size_t n) {
    const D16 d;
    const std::size_t N = hn::Lanes(d);
    const short* p[M];
    for (std::size_t i = 0; i < M; ++i) p[i] = src[i];
    std::size_t x = 0;
    for (; x + 2 * N <= n; x += 2 * N) {
        auto a = hn::LoadU(d, p[0] + x);
        auto b = hn::LoadU(d, p[0] + x + N);
        for (std::size_t i = 1; i < M; ++i) {
            a = Ext<Erode>(a, hn::LoadU(d, p[i] + x));
            b = Ext<Erode>(b, hn::LoadU(d, p[i] + x + N));
        }
        hn::StoreU(a, d, dst + x);
        hn::StoreU(b, d, dst + x + N);
    }
    for (; x < n; ++x) {
        short v = p[0][x];
        for (std::size_t i = 1; i < M; ++i) v = ext1<Erode>(v, p[i][x]);
        dst[x] = v;
    }
}

// The same for any count m >= 1: eight reads at a time.
template <bool Erode>
HWY_INLINE void combine(const short* const* src, std::size_t m, short* dst, std::size_t n) {
    switch (m) {
        case 1:
            std::memcpy(dst, src[0], n * sizeof(short));
            return;
        case 2:
            combine_fixed<Erode, 2>(src, dst, n);
            return;
        case 3:
            combine_fixed<Erode, 3>(src, dst, n);
            return;
        case 4:
            combine_fixed<Erode, 4>(src, dst, n);
            return;
        case 5:
            combine_fixed<Erode, 5>(src, dst, n);
            return;
        case 6:
            combine_fixed<Erode, 6>(src, dst, n);
            return;
        case 7:
            combine_fixed<Erode, 7>(src, dst, n);
            return;
        default:
            break;
    }
    combine_fixed<Erode, 8>(src, dst, n);
    std::size_t i = 8;
    for (; i + 7 <= m; i += 7) {
        const short* more[8] = {dst,        src[i],     src[i + 1], src[i + 2],
                                src[i + 3], src[i + 4], src[i + 5], src[i + 6]};
        combine_fixed<Erode, 8>(more, dst, n);
    }
    for (; i + 3 <= m; i += 3) {
        const short* more[4] = {dst, src[i], src[i + 1], src[i + 2]};
        combine_fixed<Erode, 4>(more, dst, n);
    }
    for (; i < m; ++i) {
        const short* more[2] = {dst, src[i]};
        combine_fixed<Erode, 2>(more, dst, n);
    }
}

// Two output rows of a uniform element: dst0 = ext(h[0 .. M-1]),
// dst1 = ext(h[1 .. M]), the M - 1 rows between computed once.
template <bool Erode, std::size_t M>
HWY_INLINE void combine_two_fixed(const short* const* h, short* dst0, short* dst1, std::size_t n) {
    const D16 d;
    const std::size_t N = hn::Lanes(d);
    const short* p[M + 1];
    for (std::size_t i = 0; i <= M; ++i) p[i] = h[i];
    // Ordinary stores: the rows are read again soon (the second pass, the
    // copy back into the frame), so they should stay in the cache.
    std::size_t x = 0;
    for (; x + N <= n; x += N) {
        auto shared = hn::LoadU(d, p[1] + x);
        for (std::size_t i = 2; i < M; ++i) shared = Ext<Erode>(shared, hn::LoadU(d, p[i] + x));
        hn::StoreU(Ext<Erode>(shared, hn::LoadU(d, p[0] + x)), d, dst0 + x);
        hn::StoreU(Ext<Erode>(shared, hn::LoadU(d, p[M] + x)), d, dst1 + x);
    }
    for (; x < n; ++x) {
        short shared = p[1][x];
        for (std::size_t i = 2; i < M; ++i) shared = ext1<Erode>(shared, p[i][x]);
        dst0[x] = ext1<Erode>(shared, p[0][x]);
        dst1[x] = ext1<Erode>(shared, p[M][x]);
    }
}

// The same for any height m: false (nothing done) beyond the heights with a
// fixed form.
template <bool Erode>
HWY_INLINE bool combine_two(const short* const* h, std::size_t m, short* dst0, short* dst1,
                            std::size_t n) {
    switch (m) {
        case 2:
            combine_two_fixed<Erode, 2>(h, dst0, dst1, n);
            return true;
        case 3:
            combine_two_fixed<Erode, 3>(h, dst0, dst1, n);
            return true;
        case 4:
            combine_two_fixed<Erode, 4>(h, dst0, dst1, n);
            return true;
        case 5:
            combine_two_fixed<Erode, 5>(h, dst0, dst1, n);
            return true;
        case 6:
            combine_two_fixed<Erode, 6>(h, dst0, dst1, n);
            return true;
        case 7:
            combine_two_fixed<Erode, 7>(h, dst0, dst1, n);
            return true;
        case 8:
            combine_two_fixed<Erode, 8>(h, dst0, dst1, n);
            return true;
        default:
            return false;
    }
}

// dst = ext(a, b), or ext(dst, a, b) when Into.
template <bool Erode, bool Into>
HWY_INLINE void merge_pair(const short* a, const short* b, short* dst, std::size_t n) {
    const D16 d;
    const std::size_t N = hn::Lanes(d);
    std::size_t t = 0;
    for (; t + N <= n; t += N) {
        auto v = Ext<Erode>(hn::LoadU(d, a + t), hn::LoadU(d, b + t));
        if constexpr (Into) v = Ext<Erode>(v, hn::LoadU(d, dst + t));
        hn::StoreU(v, d, dst + t);
    }
    for (; t < n; ++t) {
        short v = ext1<Erode>(a[t], b[t]);
        if constexpr (Into) v = ext1<Erode>(v, dst[t]);
        dst[t] = v;
    }
}

// dst = ext(dst, a).
template <bool Erode>
HWY_INLINE void merge_one(const short* a, short* dst, std::size_t n) {
    const D16 d;
    const std::size_t N = hn::Lanes(d);
    std::size_t t = 0;
    for (; t + N <= n; t += N)
        hn::StoreU(Ext<Erode>(hn::LoadU(d, a + t), hn::LoadU(d, dst + t)), d, dst + t);
    for (; t < n; ++t) dst[t] = ext1<Erode>(a[t], dst[t]);
}

template <bool Erode>
HWY_INLINE constexpr short neutral_of() {
    return Erode ? kErosionFill : kDilationFill;
}

}  // namespace HWY_NAMESPACE
}  // namespace toolkit::morphology_detail
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
