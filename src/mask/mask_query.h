// Measuring a mask: the bounding box and the grade-weighted centre of the
// pixels whose grade is at or above a threshold, over a clipped region,
// scanned row by row in the calling thread.  Coordinates are in buffer
// coordinates.
#pragma once

#include "buffers/frame.h"
#include "buffers/region.h"

// Bounding box of the selected pixels; false when no pixel is selected
// (also when the clipped region is empty, wherever it lies).
bool mask_range(const Frame& mask, const Region& area, int threshold, Region* box);

// Grade-weighted centre.  The grade sum is kept in 64 bits (a 1080p mask of
// full grades sums past the 32-bit range), the weighted coordinates exactly
// in 64-bit integers; false when the grade sum is 0 or less.
bool mask_center(const Frame& mask, const Region& area, int threshold, double* cx, double* cy);
