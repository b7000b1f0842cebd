// median: a region median-filtered in RGB, ordering whole pixels.
#pragma once

#include "buffers/area_job.h"

// Each pixel becomes the middle pixel of the kw x kh window around it, the
// window's pixels ordered by R, then G, then B (so all three components come
// from one pixel).  Even sizes act as the next odd size; a size below 1
// acts as 1, one above the buffer size as the buffer size.  The window
// reads beyond the picture mirrored.  Throws std::length_error or
// std::bad_alloc when the work area cannot be had; the destination is then
// unchanged.
void median_region(const AreaJob& job, int kw, int kh);
