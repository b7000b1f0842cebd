// The row loops of the pixel conversions (pixel_convert.cpp) that vector
// code does, compiled once per instruction set and chosen at run time
// (Highway).  Each does as many pixels as whole vectors take and returns
// how many, a multiple of 2; the plain loops of pixel_convert.cpp finish
// the row.  Each sample is exactly what its single-sample formula gives.
#pragma once

#include <cstdint>

#include "platform/aviutl.h"

namespace pixel_rows {

// A sample into an editor value: ((sample - mid) * mul + add) >> shift, plus
// offset.
struct Scale {
    int mul, add, shift, offset, mid;
};

// An editor value into a sample: (((value + bias) * mul + add) >> 12) +
// offset, limited to 0..max.
struct OutScale {
    int mul, add, offset, bias, max;
};

// Samples are bytes, or 16-bit words when `words`.
//
// Samples to pixels, from Y, Cb and Cr rows of full width (4:4:4) or with
// one chroma sample for each two pixels (4:2:2, 4:2:0).  Results keep their
// low 16 bits.
int in_444(const void* py, const void* pu, const void* pv, bool words, int w, PIXEL_YC* d,
           const Scale& ly, const Scale& lc);
int in_422(const void* py, const void* pu, const void* pv, bool words, int w, PIXEL_YC* d,
           const Scale& ly, const Scale& lc);

// Pixels to samples of full width.
int out_444(const PIXEL_YC* s, int w, void* py, void* pu, void* pv, bool words, const OutScale& ly,
            const OutScale& lc);

// Rows a and b (the same row for 4:2:2) to their luma rows ya and yb (ya ==
// yb writes one) and one row of each chroma plane, each chroma sample from
// the floor of the mean of its four pixels.
int out_420(const PIXEL_YC* a, const PIXEL_YC* b, int w, void* ya, void* yb, void* pu, void* pv,
            bool words, const OutScale& ly, const OutScale& lc);

// Pixels to 8-bit R G B bytes, as yc_to_rgb24 does them.
int out_rgb24(const PIXEL_YC* s, int w, std::uint8_t* rgb);

}  // namespace pixel_rows
