// Areas that two or three buffers share, already clipped, and the one way a
// mask pixel is written.
//
// A mask is an ordinary frame buffer whose `y` holds a grade (4096 = fully
// selected, 0 = not selected).  Every function that writes a mask pixel
// writes the grade into `y` and zeroes `cb` and `cr`, so a mask viewed as an
// image is a grey picture.
#pragma once

#include "buffers/frame.h"
#include "buffers/numeric.h"

// A w x h area read at (sx, sy) of one buffer and written at (dx, dy) of
// another; both positions lie inside their buffers.
struct PairArea {
    int sx = 0, sy = 0, dx = 0, dy = 0, w = 0, h = 0;
};

// Two w x h input areas at (ax, ay) and (bx, by) and an output area at
// (dx, dy), all inside their buffers.
struct TripleArea {
    int ax = 0, ay = 0, bx = 0, by = 0, dx = 0, dy = 0, w = 0, h = 0;
};

// Writes `grade` (kept to its low 16 bits) as a mask pixel.
inline void put_grade(PIXEL_YC& p, int grade) {
    p.y = low16(grade);
    p.cb = 0;
    p.cr = 0;
}
