// The key-box grade rule shared by the colour-key masks.
//
// A key box holds a lower and an upper bound (both inclusive) for each of
// three colour components.  A pixel inside the box gets the in value; one
// farther outside than the margin gets the out value; in between the grade
// falls linearly with the largest single-component excess d (1..m):
//   grade = trunc(out + (in - out) * (m - d) / m)   in double precision.
// A margin of 0 or less gives a hard edge.
#pragma once

#include <cstdint>

#include "buffers/numeric.h"

struct KeyBox {
    int lower[3] = {0, 0, 0};
    int upper[3] = {0, 0, 0};
    std::int16_t in = 4096;
    std::int16_t out = 0;
    int margin = 0;
};

// The grade of a pixel whose largest excess over the box is d (0 inside).
inline int key_grade_of_excess(long long d, const KeyBox& box) {
    if (d <= 0) return box.in;
    if (box.margin <= 0 || d > box.margin) return box.out;
    const double ramp =
        static_cast<double>(box.in - box.out) * static_cast<double>(box.margin - d) / box.margin;
    return trunc_to_int(box.out + ramp);
}

// The grade of components c1, c2, c3 against `box`.  Excesses are taken in
// 64 bits, so bounds anywhere in the int range cannot overflow.
inline int key_box_grade(int c1, int c2, int c3, const KeyBox& box) {
    const long long c[3] = {c1, c2, c3};
    long long d = 0;  // largest excess over any bound
    for (int k = 0; k < 3; ++k) {
        const long long below = box.lower[k] - c[k];
        const long long above = c[k] - box.upper[k];
        if (below > d) d = below;
        if (above > d) d = above;
    }
    return key_grade_of_excess(d, box);
}

// Reduces a hue bound into 0..3599 (-1 gives 3599, 3600 gives 0).
inline int reduce_hue(int h) {
    const int r = h % 3600;
    return r < 0 ? r + 3600 : r;
}
