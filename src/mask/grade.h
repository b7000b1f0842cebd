// The one way a mask pixel is written.
//
// A mask is an ordinary frame buffer whose `y` holds a grade (4096 = fully
// selected, 0 = not selected).  Every function that writes a mask pixel
// writes the grade into `y` and zeroes `cb` and `cr`, so a mask viewed as an
// image is a grey picture.
#pragma once

#include "buffers/numeric.h"
#include "platform/aviutl.h"

// Writes `grade` (kept to its low 16 bits) as a mask pixel.
inline void put_grade(PIXEL_YC& p, int grade) {
    p.y = low16(grade);
    p.cb = 0;
    p.cr = 0;
}
