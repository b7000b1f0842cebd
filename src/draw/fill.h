// Constant-colour fills of a rectangle: everywhere, where a mask exceeds a
// key, or on the right-hand side of a directed line.  Regions are already
// clipped; rows run in parallel.
#pragma once

#include "buffers/areas.h"
#include "buffers/frame.h"
#include "buffers/region.h"

// Y, Cb, Cr as the script gives them, each stored by its low 16 bits.
PIXEL_YC fill_colour(int y, int cb, int cr);

void fill_region(const Frame& frame, const Region& region, PIXEL_YC colour);

// D(dx + j, dy + i) = colour where the y of M(sx + j, sy + i) > key.
void fill_masked(const Frame& frame, const Frame& mask, const PairArea& area, PIXEL_YC colour,
                 int key);

// A directed line from (x1, y1) to (x2, y2), in coordinates counted from the
// top-left corner of the clipped rectangle.
struct DirectedLine {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

// Pixel (j, i) of the rectangle is painted when
//   d = (y2 - y1)(j - x1) - (x2 - x1)(i - y1) <= 0,
// that is on the line or to its right when walking from P1 to P2 (y points
// down).  P1 = P2 fills the whole rectangle.
void fill_line_right(const Frame& frame, const Region& region, const DirectedLine& line,
                     PIXEL_YC colour);
