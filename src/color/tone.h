// Tone and level operations on a region of one frame buffer, in place.
//
// Every kernel takes the buffer as a Frame and a region already clipped to
// it, and processes the region's rows in parallel.  Results are truncated
// toward zero and stored as the low 16 bits unless a clamp is named.
#pragma once

#include "buffers/frame.h"
#include "buffers/region.h"

// Power curve per component on the unit scale (Y/4096, (Cb+2048)/4096,
// (Cr+2048)/4096) with exponent 1/gain: a gain of 2 brightens, 1 keeps.
// A component whose curve has no finite value (a base below 0 with a
// fractional exponent, or an infinite result from a zero gain) keeps its
// value.  Large regions build a 384 KB table of the curve (may throw
// bad_alloc), which is kept for the next call with the same exponents.
void gamma_curve(const Frame& frame, const Region& region, const double gain[3]);

// Logistic curve per component: steepness gain[k], centre centre[k] on the
// unit scale.  Y uses Y/4096, the chroma components Cb/4096 unshifted with
// the result shifted by -2048.  A component whose curve is not finite (only
// for infinite or NaN arguments) keeps its value.  Large regions build and
// keep a table as gamma_curve does.
void sigmoid_curve(const Frame& frame, const Region& region, const double gain[3],
                   const double centre[3]);

// Quantises Y, Cb, Cr to levels[k] levels each (fewer than 2 count as 2).
void posterize_yc(const Frame& frame, const Region& region, const int levels[3]);

// Quantises R, G, B (from the truncated YCbCr-to-RGB conversion).
void posterize_rgb(const Frame& frame, const Region& region, const int levels[3]);

// Quantises H (steps out of 3600), S and V (steps out of 4096).
// posterize_hsv in single precision where the levels make few colours: H,
// S, V within known bounds, the quantised triple looked up in a table the
// double routine fills, pixels next to a cut recomputed in double; else
// (and in posterize_hsv_double) double lanes.  The same result either way.
void posterize_hsv(const Frame& frame, const Region& region, const int levels[3]);
void posterize_hsv_double(const Frame& frame, const Region& region, const int levels[3]);

// Pulls every pixel into the RGB cube 0..4096 and the nominal YCbCr ranges.
void normalize_gamut(const Frame& frame, const Region& region);

// Y becomes 4096 where Y >= threshold, else 0; Cb and Cr become 0 (a mask).
void binarize_luma(const Frame& frame, const Region& region, int threshold);

// The quantisation step of `levels` levels over `range`: range / (levels-1),
// with fewer than 2 levels taken as 2 and a step of 0 taken as 1.
int level_step(int levels, int range);
