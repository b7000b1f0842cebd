// linear and laplacian: a region convolved with a two-dimensional kernel in
// RGB.
//
// The region and a margin of (cols + 1) / 2 columns and (rows + 1) / 2 rows
// on each side are copied into a work array, convolved there with the
// kernel normalised by the sum of its weights (raw sums for a zero-sum
// kernel), and the inner w x h part is written back, Y, Cb and Cr from the
// result's R, G and B.
#pragma once

#include "buffers/area_job.h"

// `cells` holds rows x cols weights, row-major; the anchor is column
// cols / 2 of row rows / 2.  Throws std::length_error when the work area is
// too large, std::bad_alloc when memory runs out; the destination is then
// unchanged.
void linear_region(const AreaJob& job, const double* cells, int rows, int cols);

// The 3 x 3 eight-neighbour Laplacian (1 around, -8 in the centre).
void laplacian_region(const AreaJob& job);
