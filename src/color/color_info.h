// The colour-information text shown for a clicked pixel: its position and its
// value in YCbCr, RGB, HSV, the HSV cylinder (P) and cone (C) planes, CIE XYZ
// and CIE L*a*b*.
#pragma once

#include <cstddef>

#include "platform/aviutl.h"

// Size of the text buffer, terminating zero included.
constexpr std::size_t kColorInfoSize = 2048;

// Writes the text for pixel p at (x, y) into out (cut to kColorInfoSize - 1
// characters, always terminated).  R, G, B, H, S, V are shown truncated
// toward zero; the plane, XYZ and L*a*b* values with two decimals, all
// computed from the unrounded RGB.
void format_color_info(char (&out)[kColorInfoSize], int x, int y, const PIXEL_YC& p);
