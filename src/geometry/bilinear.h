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
// itself is taken (all four taps are p00; the clamp border of
// toolkit/border.h): nothing beyond that area, and so nothing outside the
// buffer, is ever read.
//
// This is the rule; the transforms run it in vector code
// (bilinear_simd-inl.h, resize.cpp) that gives the same integers.
#pragma once

#include <cstdint>

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
