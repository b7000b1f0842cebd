// gaussian: a region blurred with a Gaussian, in float RGB.
//
// The region itself (no margin) is the float work plane, along whose rows
// and then columns a one-dimensional kernel runs; at the region's edges the
// kernel is cut and renormalised, so nothing beyond the region is read
// except where the region itself lies beyond the picture (those pixels are
// mirrored in).  Values stay in float until they are truncated once on the
// way back.  When nothing written can be read back and the kernel is short,
// the rows stream through per-thread lines instead of a whole array; the
// results are the same.
#pragma once

#include "buffers/area_job.h"

// sigma: the standard deviation in pixels, finite and not negative (the
// caller checks); 0 acts as 1.  Throws std::length_error or std::bad_alloc
// when the work area cannot be had; the destination is then unchanged.
void gaussian_region(const AreaJob& job, double sigma);
