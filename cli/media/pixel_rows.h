// Vector versions of the commonest rows of pixel_convert.cpp (8-bit,
// limited range), for processors with AVX2.  Each does as many pixels as it
// can in whole blocks and returns how many pixels; the
// plain loops do the rest, and everything where AVX2 is missing.
#pragma once

#include <cstdint>

#include "platform/aviutl.h"

namespace pixel_rows {

bool have_avx2();

int in_422_u8(const std::uint8_t* py, const std::uint8_t* pu, const std::uint8_t* pv, int w,
              PIXEL_YC* d);
int in_444_u8(const std::uint8_t* py, const std::uint8_t* pu, const std::uint8_t* pv, int w,
              PIXEL_YC* d);
int out_luma_u8(const PIXEL_YC* s, int w, std::uint8_t* py);
int out_444_u8(const PIXEL_YC* s, int w, std::uint8_t* py, std::uint8_t* pu, std::uint8_t* pv);
// Rows a and b (the same row for 4:2:2) to their luma rows and one row of
// each chroma plane; ya == yb writes one luma row.
int out_420_u8(const PIXEL_YC* a, const PIXEL_YC* b, int w, std::uint8_t* ya, std::uint8_t* yb,
               std::uint8_t* pu, std::uint8_t* pv);

// Pixels to 8-bit R G B bytes, as yc_to_rgb24 does them.
int out_rgb24(const PIXEL_YC* s, int w, std::uint8_t* rgb);

}  // namespace pixel_rows
