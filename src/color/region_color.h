// Region colour functions: a gain and an offset per component of one colour
// space, applied in place to every pixel of a region of one frame buffer.
//
// gain[k] and offset[k] are the script's numbers for components 1..3.  The
// fixed-point members (color, color_rgb, color_hsv, color_hsv_i, color_hsv_m)
// turn each gain into k = trunc(gain * 4096), so 4096 is a gain of 1.0; how
// each member uses its offsets is written at the member.  Regions are
// already clipped to the frame; rows run in parallel.
#pragma once

#include "buffers/frame.h"
#include "buffers/region.h"

struct ColorAdjust {
    double gain[3];
    double offset[3];
};

// YCbCr: (c * k + trunc(o * 4096)) >> 12, saturated to the 16-bit range.
void color_yc(const Frame& frame, const Region& region, const ColorAdjust& adjust);

// RGB (from the truncated conversion): R * k + trunc(o * 4096), converted back
// to YCbCr with the 4096 factor divided out; low 16 bits stored.
void color_rgb(const Frame& frame, const Region& region, const ColorAdjust& adjust);

// HSV in double: H' = k * H / 4096 + trunc(o), likewise S and V (H in tenths
// of a degree, S and V on 0..4096); low 16 bits stored.
// Single-precision lanes guarded by error bounds, recomputing in double the
// pixels next to a cut (gains and offsets of sensible size), else the
// double lanes of color_hsv_double: the same result either way.
void color_hsv(const Frame& frame, const Region& region, const ColorAdjust& adjust);
void color_hsv_double(const Frame& frame, const Region& region, const ColorAdjust& adjust);

// HSV in integers: H' = H * k / 4096 + trunc(o) with truncating division.
void color_hsv_int(const Frame& frame, const Region& region, const ColorAdjust& adjust);

// Unit HSV (degrees, 0..1): H' = k * H / 4096 + trunc(o) / 10 degrees,
// S' = k * S / 4096 + trunc(o) / 4096, V' likewise; nothing is clamped.
// Guarded single-precision lanes as color_hsv, else the double lanes of
// color_hsv_unit_double: the same result either way.
void color_hsv_unit(const Frame& frame, const Region& region, const ColorAdjust& adjust);
void color_hsv_unit_double(const Frame& frame, const Region& region, const ColorAdjust& adjust);

// CIE XYZ (4096 = 1.0): X' = X * gain + offset in double; saturated.
void color_xyz(const Frame& frame, const Region& region, const ColorAdjust& adjust);

// CIE L*a*b*: L' = gain * L + offset in double; saturated.
void color_lab(const Frame& frame, const Region& region, const ColorAdjust& adjust);
