// Copying a rectangle between buffers, everywhere or only where a key value
// is exceeded.  Areas are already clipped; rows run in parallel.
//
//   copy_keyed   D = S where S.y > key (strictly)
//   copy_masked  D = S where M.y > key, M read at the mask position
// The unconditional copy is copy_area of buffers/copy_frame.h.
#pragma once

#include "buffers/frame.h"
#include "buffers/areas.h"

// A source position (sx, sy), a destination (dx, dy) and a mask (mx, my)
// sharing one clipped size w x h.
struct MaskedArea {
    int sx = 0, sy = 0, dx = 0, dy = 0, mx = 0, my = 0, w = 0, h = 0;
};

// The masked area of a triple whose positions are source, destination, mask.
inline MaskedArea masked_area(const TripleArea& t) {
    return {t.ax, t.ay, t.bx, t.by, t.dx, t.dy, t.w, t.h};
}

void copy_keyed(const Frame& src, const Frame& dst, const PairArea& area, int key);
void copy_masked(const Frame& src, const Frame& dst, const Frame& mask, const MaskedArea& area,
                 int key);
