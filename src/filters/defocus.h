// defocus: a region box-blurred.
#pragma once

#include "buffers/area_job.h"
#include "buffers/frame.h"

// Each pixel becomes the mean, in RGB, of the kw x kh box around it (box
// of x: x - kw/2 .. x - kw/2 + kw - 1).  The box is cut at the edges of the
// visible picture (nothing is mirrored): near an edge a pixel is the mean of
// the picture pixels its box covers.  kw below 1 acts as 1, above the
// buffer width as the buffer width; kh likewise.  A region wholly outside
// the picture writes nothing.  Throws std::length_error or std::bad_alloc
// when the work area cannot be had; the destination is then unchanged.
void defocus_region(const AreaJob& job, int kw, int kh);
