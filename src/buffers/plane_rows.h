// The pixel conversions of the work-plane copies, a row at a time.
//
// Each converts n pixels exactly as yc_to_rgb / rgb_to_yc (pixel_format.h)
// and to_component (numeric.h) do one pixel, vectorised across pixels (the
// same operations in the same order for each), compiled once per
// instruction set, the best one the processor has chosen at run time.
#pragma once

#include <cstddef>

#include "platform/aviutl.h"
#include "toolkit/rgb.h"

// RGB truncated toward zero, low 16 bits kept.
void yc_to_rgb_row(const PIXEL_YC* in, toolkit::rgb<short>* out, std::size_t n);
// RGB rounded to float.
void yc_to_rgbf_row(const PIXEL_YC* in, toolkit::rgb<float>* out, std::size_t n);
// The y of each pixel into a row of cells, and back (cb and cr kept).
void y_of_row(const PIXEL_YC* in, short* out, std::size_t n);
void y_into_row(const short* in, PIXEL_YC* out, std::size_t n);
// Y, Cb, Cr truncated toward zero, low 16 bits kept.
void rgb_to_yc_row(const toolkit::rgb<short>* in, PIXEL_YC* out, std::size_t n);
void rgbf_to_yc_row(const toolkit::rgb<float>* in, PIXEL_YC* out, std::size_t n);
// The pixels of n median keys (toolkit/median_rows.h) as Y, Cb, Cr: what
// from_keys then rgb_to_yc_row give, in one pass.
void median_keys_to_yc_row(const double* keys, PIXEL_YC* out, std::size_t n);
