// Near-colour merging: per pixel, which of two images A and B is nearer to
// a key colour, as a merged image or as a mask.
//
// Distances to the key, times the multiplier k:
//   plain  Y, Cb, Cr with 12-bit fixed-point weights W = trunc(weight * 4096):
//          e = (W * (key - q)) >> 12 (flooring), d = sqrt(sum e^2) * k
//   lab    L*a*b* (yc_to_lab of pixel and key) with real weights; weight[0]
//          acts on L*, weight[1] on b*, weight[2] on a*
// With exponent p = 0 the nearer pixel wins (A only when strictly nearer);
// otherwise A weighs t = dB^p / (dA^p + dB^p).
//
// Non-finite cases: where t is not a number (p != 0 with both distances 0,
// both powers infinite, a multiplier of 0 or below with a non-integer p, or
// a NaN exponent) the two images count as equally near and t = 1/2, which
// is also what equal non-zero distances give.  The fixed-point distance is
// formed in 64 bits and summed in double precision, so no input overflows.
#pragma once

#include "buffers/areas.h"
#include "buffers/frame.h"
#include "mask/grade.h"

struct NearMerge {
    bool lab = false;
    double key[3] = {0, 0, 0};  // Y, Cb, Cr (whole numbers for plain)
    double weight[3] = {1, 1, 1};
    double multiplier = 1;  // a whole number for plain
    double exponent = 0;
};

// The weight t of A (1 when A wins a hard choice, 0 when B does).
double near_weight(double da, double db, double p);

// Writes to dst at (dx, dy) either the nearer pixel or the blend.
void merge_near(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area,
                const NearMerge& m);

// Writes the mask of A's weight: 4096 / 0 for p = 0, else trunc(t * 4096).
void mask_near(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area,
               const NearMerge& m);
