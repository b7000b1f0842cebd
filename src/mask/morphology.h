// Grey erosion, dilation, opening and closing of a region's y component.
//
// The region, extended on each side by about half the element's reach, is
// copied into a work array (reads beyond the picture are mirrored at its
// edges), processed by the toolkit's morphology routines through the pool's
// range call, and its inner w x h part is copied back into the
// destination's y; the destination's cb and cr are never changed.  Masks keep their grade in y,
// so these grow, shrink, open and close masks.
#pragma once

#include <cstdint>

#include "buffers/area_job.h"
#include "toolkit/grey_morphology.h"

enum class MorphologyOp { erode, dilate, open, close };

// The structuring element as the script gives it: a disc radius, or a table
// of cols x rows cells (row-major doubles; non-zero after truncation toward
// zero means "part of the element"), centred at (cols / 2, rows / 2).  A
// table may instead come already turned into runs (`runs`, with rows and
// cols still set), as the script binding reads it.
struct MorphologyElement {
    bool is_table = false;
    int radius = 0;
    const double* cells = nullptr;
    const toolkit::morphology_runs* runs = nullptr;
    int rows = 0;
    int cols = 0;

    // False for a negative radius or a table without a non-zero cell: such
    // an element has no point to take an extreme over.
    bool has_points() const;
    // The half extension of the region on each side: (r + 1) / 2 for a disc,
    // (cols + 1) / 2 and (rows + 1) / 2 for a table.
    int extension_x() const;
    int extension_y() const;
};

// The largest element a call accepts:
//  - at most 268435455 points (a disc radius up to 9243), and a work area
//    (the region extended by ex, ey on each side) of at most 2^31 - 1 pixels;
//  - for open and close, which need the first pass over the whole reach of
//    the second, an element reaching at most the buffer's width to either
//    side and its height up and down (a disc radius up to the smaller of
//    max_w and max_h).
// Within them the work is bounded by the buffer's size, not by the element:
// only the part of the extended region that can matter is read (beyond the
// picture's mirrored edges every cell is 0), only the destination pixels
// inside the buffer are computed, and a call whose destination lies wholly
// outside the buffer does nothing.

// Builds the toolkit element.  Throws std::length_error with a readable text
// when the element cannot be held.
toolkit::morphology_runs make_morphology_runs(const MorphologyElement& element);

// True when open and close accept the element on a buffer of max_w x max_h.
bool two_pass_allowed(const toolkit::morphology_runs& runs, int max_w, int max_h);

// Runs `op` over the job's region on `threads` jobs of the range call (0:
// one per processor).  Throws std::length_error when the element or the extended
// region is beyond the limits above, std::bad_alloc when memory runs out;
// the destination is then unchanged.
void morphology_region(const AreaJob& job, const MorphologyElement& element, MorphologyOp op,
                       std::uint32_t threads);
