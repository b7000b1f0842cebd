// Grey erosion, dilation, opening and closing of a region's y component.
//
// The region, extended on each side by about half the element's reach, is
// copied into a work array (reads beyond the picture are mirrored at its
// edges), processed by the toolkit's morphology routines on worker threads,
// and its inner w x h part is copied back into the destination's y; the
// destination's cb and cr are never changed.  Masks keep their grade in y,
// so these grow, shrink, open and close masks.
#pragma once

#include <cstdint>

#include "buffers/frame.h"
#include "toolkit/morphology.h"

enum class MorphologyOp { erode, dilate, open, close };

// The structuring element as the script gives it: a disc radius, or a table
// of cols x rows cells (row-major doubles; non-zero after truncation toward
// zero means "part of the element"), centred at (cols / 2, rows / 2).
struct MorphologyElement {
    bool is_table = false;
    int radius = 0;
    const double* cells = nullptr;
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

// Where a morphology call reads and writes.
struct MorphologyJob {
    Frame source;       // read: y of (sx, sy) .. (sx + w - 1, sy + h - 1), extended
    Frame destination;  // written: y of the w x h rectangle at (dx, dy), clipped
    int sx = 0, sy = 0;
    int w = 0, h = 0;  // positive, at most the buffer size
    int dx = 0, dy = 0;
    int picture_w = 0;  // the visible picture, where reads are mirrored
    int picture_h = 0;
};

// Builds the toolkit element.  Throws std::length_error with a readable text
// when the element cannot be held.
mist::morphology_structure make_morphology_structure(const MorphologyElement& element);

// Runs `op` over the job's region with `threads` toolkit workers (0: one per
// processor).  Throws std::length_error when the extended region or the
// element is too large to hold, std::bad_alloc when memory runs out; the
// destination is then unchanged.
void morphology_region(const MorphologyJob& job, const MorphologyElement& element, MorphologyOp op,
                       std::uint32_t threads);
