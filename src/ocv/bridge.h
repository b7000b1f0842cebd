// cvcanny and ocvtest: a region passed through OpenCV and back.
//
// The region is copied into an OpenCV image of w x h pixels (image origin
// and source position clipped together, the source against the buffer),
// OpenCV works on it, and the image goes back to the destination position
// (clipped the same way).  Image pixels the source does not cover are 0.
// Everything is read before anything is written, so source and destination
// may be one buffer.
#pragma once

#include "buffers/area_job.h"

// Canny edges of the region's y taken to 0..255 (y / 16, limited to 0 and
// 255) written as a mask: y = 4080 on an edge, 0 elsewhere, cb = cr = 0.
// Throws std::runtime_error with OpenCV's message when OpenCV rejects the
// thresholds or the aperture (the destination is then unchanged), and
// std::bad_alloc when memory runs out.
void canny_region(const AreaJob& job, double threshold1, double threshold2, int aperture);

// The region turned upside down (its y, cb and cr unchanged).
void flip_test_region(const AreaJob& job);
