// Graded masks: a grade per pixel from the distance between its colour and
// a key, in one of six colour spaces.
//
// The point masks (mkmask_p family) measure the distance to one key colour
// K; the line masks (mkmask_l family) the distance to the segment between
// key colours A and B (segment_distance).  Each component, of the pixel and
// of the keys alike, is multiplied by its weight first.  The grade is
// distance_grade(d, inner, outer): 4096 within the inner radius, 0 beyond
// the outer, linear in between.
//
// Spaces and their keys:
//   Yc    Y, Cb, Cr as stored; keys in Y, Cb, Cr
//   Rgb   yc_to_rgb in double precision; keys in R, G, B
//   Hsv   rgb_to_hsv of unrounded RGB; keys in H, S, V.  Point masks take the
//         hue difference around the circle (at most 1800); line masks do not
//   HsvP, HsvC  the HSV cylinder / cone with ws = weight[1], wv = weight[2]
//         applied inside the conversion, of pixel and key (given as H, S, V)
//         alike; weight[0] has no effect; plain Euclidean distance
//   Lab   yc_to_lab; keys given as Y, Cb, Cr and converted once
#pragma once

#include "buffers/areas.h"
#include "buffers/frame.h"
#include "buffers/numeric.h"
#include "mask/grade.h"

enum class MaskSpace { Yc, Rgb, Hsv, HsvP, HsvC, Lab };

struct GradedMask {
    MaskSpace space = MaskSpace::Yc;
    bool line = false;  // segment A-B instead of the point A
    int key_a[3] = {0, 0, 0};
    int key_b[3] = {0, 0, 0};
    double inner = 0;  // radius of full selection
    double outer = 0;  // radius where the grade reaches 0
    double weight[3] = {1, 1, 1};
};

// Grade of distance d: 4096 when d <= inner; (outer - d) / (outer - inner)
// * 4096 truncated when d <= outer; otherwise 0.
//
// Non-finite radii and weights: comparisons with a NaN fail, so a NaN
// distance (for instance an infinite weight times a zero difference) or a
// NaN inner radius never selects; and a ramp value that is not a number
// (both radii infinite, or an infinite outer radius with a finite inner one,
// inf / inf) gives 0, as if the pixel were beyond the outer radius.  Every
// grade is therefore within 0..4096.
inline int distance_grade(double d, double inner, double outer) {
    if (d <= inner) return 4096;
    if (d <= outer) return trunc_to_int((outer - d) / (outer - inner) * 4096);
    return 0;
}

// Writes the graded mask of the w x h area of src at (sx, sy) to dst at
// (dx, dy).  The area is already clipped; src and dst may coincide.
void graded_mask(const Frame& src, const Frame& dst, const PairArea& area, const GradedMask& m);
