// The one bilinear sampler of the resampling transforms.
//
// A source position is split into a pixel (ix, iy) and 8-bit fractions fx,
// fy (1/256 pixel).  The four taps p00 = (ix, iy), p10 = (ix + 1, iy),
// p01 = (ix, iy + 1) and p11 = (ix + 1, iy + 1) are weighted per component
// in 32-bit integers and shifted back by 16 (an arithmetic shift, which
// floors).  The weights always sum to 65536, so fx = fy = 0 gives p00
// exactly and a uniform picture stays uniform.  The largest magnitude,
// 32768 * 65536, still fits 32 bits.
//
// At the last column or row of the area a transform may read, the pixel
// itself is taken (all four taps are p00): nothing beyond that area, and so
// nothing outside the buffer, is ever read.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "buffers/frame.h"

inline std::int16_t bilinear_component(int p00, int p10, int p01, int p11, int fx, int fy) {
    const int top = p00 * (256 - fx) + p10 * fx;
    const int bottom = p01 * (256 - fx) + p11 * fx;
    return static_cast<std::int16_t>((top * (256 - fy) + bottom * fy) >> 16);
}

inline PIXEL_YC bilinear_sample(const PIXEL_YC& p00, const PIXEL_YC& p10, const PIXEL_YC& p01,
                                const PIXEL_YC& p11, int fx, int fy) {
    return {bilinear_component(p00.y, p10.y, p01.y, p11.y, fx, fy),
            bilinear_component(p00.cb, p10.cb, p01.cb, p11.cb, fx, fy),
            bilinear_component(p00.cr, p10.cr, p01.cr, p11.cr, fx, fy)};
}

// The same sample from the taps' positions: p00 = r0[0], p10 = r0[1],
// p01 = r1[0], p11 = r1[1].  On x86-64 the three components go through
// SSE2 together: each row's pair is interleaved (y0 y1 cb0 cb1 cr0 cr1) and
// weighted by one multiply-add; the vertical step, whose operands pass 16
// bits, is split into the high and low bytes of each row value,
//   floor((256 T1 + T0)(256 - fy) + (256 B1 + B0) fy) / 65536)
//     = (S1 + (S0 >> 8)) >> 8,  S1 = T1 (256 - fy) + B1 fy, S0 likewise,
// which is the same integer.  Reads stay within the four taps' 24 bytes.
inline PIXEL_YC bilinear_taps(const PIXEL_YC* r0, const PIXEL_YC* r1, int fx, int fy) {
#if defined(__SSE2__)
    auto row_pair = [](const PIXEL_YC* r, __m128i weights) {
        // 64-bit loads that 32-bit x86 has as well (movq).
        const __m128i p0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(r));  // y0 cb0 cr0 y1
        const __m128i p1 = _mm_srli_epi64(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(reinterpret_cast<const char*>(r) + 4)),
            16);  // cr0 y1 cb1 cr1 moved down one value
        return _mm_madd_epi16(_mm_unpacklo_epi16(p0, p1), weights);
    };
    const __m128i wx = _mm_set1_epi32((fx << 16) | (256 - fx));
    const __m128i wy = _mm_set1_epi32((fy << 16) | (256 - fy));
    const __m128i top = row_pair(r0, wx), bottom = row_pair(r1, wx);
    const __m128i low = _mm_set1_epi32(255), word = _mm_set1_epi32(0xffff);
    const __m128i high = _mm_or_si128(_mm_and_si128(_mm_srai_epi32(top, 8), word),
                                      _mm_slli_epi32(_mm_srai_epi32(bottom, 8), 16));
    const __m128i lows =
        _mm_or_si128(_mm_and_si128(top, low), _mm_slli_epi32(_mm_and_si128(bottom, low), 16));
    const __m128i s1 = _mm_madd_epi16(high, wy), s0 = _mm_madd_epi16(lows, wy);
    const __m128i v = _mm_srai_epi32(_mm_add_epi32(s1, _mm_srai_epi32(s0, 8)), 8);
    const __m128i packed = _mm_packs_epi32(v, v);
    PIXEL_YC out;
    std::int64_t bits;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(&bits), packed);
    std::memcpy(&out, &bits, sizeof out);
    return out;
#else
    return bilinear_sample(r0[0], r0[1], r1[0], r1[1], fx, fy);
#endif
}

// The sample at (ix, iy) + (fx, fy) / 256 of `src`; `single` when (ix, iy)
// is on the last column or row of the readable area.
inline PIXEL_YC sample_at(const Frame& src, int ix, int iy, int fx, int fy, bool single) {
    const PIXEL_YC* r0 = src.row(iy) + ix;
    if (single) return *r0;
    return bilinear_taps(r0, r0 + src.max_w, fx, fy);
}
