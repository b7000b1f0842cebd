// Difference masks: a grade per pixel from the colour distance between two
// images at the same region offset, in one of six colour spaces.
//
//   Yc    Y, Cb, Cr; 12-bit fixed-point weights W = trunc(weight * 4096):
//         e_k = ((a_k - b_k) * W_k) >> 12 (flooring), D = sqrt(sum e_k^2)
//   Rgb   as Yc on R, G, B of yc_to_rgb, each truncated
//   Hsv   rgb_to_hsv of unrounded RGB, real weights, the hue difference
//         taken around the circle (at most 1800)
//   HsvP, HsvC  the HSV cylinder / cone with ws = weight[0], wv = weight[1]
//         inside the conversion; plain Euclidean distance
//   Lab   yc_to_lab, real weights on L*, a*, b*
// The difference is always A minus B.  The grade is difference_grade of D,
// the gain and the threshold.
//
// The fixed-point members form the products and the squares in 64 bits and
// sum the squares in double precision: exactly the 32-bit result wherever
// 32 bits did not overflow, and the true (large, hence clamped) distance for
// component differences and weights far outside the nominal ranges.
#pragma once

#include "buffers/areas.h"
#include "buffers/frame.h"
#include "buffers/numeric.h"
#include "mask/grade.h"
#include "mask/graded_mask.h"

struct DifferenceMask {
    MaskSpace space = MaskSpace::Yc;
    double gain = 1;
    double weight[3] = {1, 1, 1};
    double threshold = 0;  // whole numbers except for Lab
};

// X = d * gain; 0 when X < threshold or X is not a number; otherwise
// trunc(X) limited to 0..4096 (an infinite X gives 4096 or 0 by its sign).
// A NaN threshold suppresses nothing (no comparison with it holds).
inline int difference_grade(double d, double gain, double threshold) {
    const double x = d * gain;
    if (x < threshold || x != x) return 0;
    const int v = trunc_to_int(x);
    return v < 0 ? 0 : (v > 4096 ? 4096 : v);
}

// Writes the mask of the w x h areas of a at (ax, ay) and b at (bx, by) to
// dst at (dx, dy).  The area is already clipped; dst may be a or b.
void difference_mask(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area,
                     const DifferenceMask& m);
