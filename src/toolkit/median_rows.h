// The inner loops of the median filter.
//
// The filter orders whole pixels, lexicographically by R, then G, then B
// (signed 16-bit).  A pixel becomes one key that orders the same way: its
// three components with their sign bits flipped, R in the high bits, placed
// in the mantissa of a double in [2^52, 2^53).  Such doubles compare exactly
// as the integers they hold, so a window's median is found with the
// processor's vector minimum and maximum, and the key gives the pixel back
// unchanged.  As the median is a pixel of the window and equal keys are
// equal pixels, any correct selection gives the same result.
#pragma once

#include <cstddef>

namespace toolkit::row_kernels {

// keys[i] = the key of pixel i of n (r, g, b components in a row).
void to_keys(const short* rgb, double* keys, std::size_t n);

// The pixels of n keys.
void from_keys(const double* keys, short* rgb, std::size_t n);

// out[i] = the median of the 3 x 3 keys in columns i..i+2 of rows r[0..2].
void median3x3(const double* const* r, double* out, std::size_t n);

// out[i] = the median of the 5 x 5 keys in columns i..i+4 of rows r[0..4].
void median5x5(const double* const* r, double* out, std::size_t n);

// out[i] = the median of the kw x kh keys (both odd) in columns i..i+kw-1
// of rows r[0..kh-1]: the networks above for 3 x 3 and 5 x 5, selection
// otherwise, with `window` (kw * kh keys) as scratch.
void median_row(const double* const* r, std::size_t kw, std::size_t kh, double* out, std::size_t n,
                double* window);

}  // namespace toolkit::row_kernels
