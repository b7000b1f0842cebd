// Mirroring a region of one buffer into a region of another.
//
// The region is not clipped in advance: every pixel whose source or
// destination position lies outside its buffer is skipped on its own, so the
// mirror axis stays at the middle of the requested w x h region even when
// part of it hangs over an edge.  w and h are at most the buffer's size.
//
//   flip_horizontal  S(sx + j, sy + i) -> D(dx + w - 1 - j, dy + i)
//   flip_vertical    S(sx + j, sy + i) -> D(dx + j, dy + h - 1 - i)
// Rows run in parallel; each destination pixel is written at most once.
// Source and destination may be the same buffer only when the two regions
// do not overlap (the caller copies the source first otherwise).
#pragma once

#include "buffers/frame.h"

struct FlipRegion {
    int sx = 0, sy = 0, w = 0, h = 0, dx = 0, dy = 0;
};

void flip_horizontal(const Frame& src, const Frame& dst, const FlipRegion& r);
void flip_vertical(const Frame& src, const Frame& dst, const FlipRegion& r);
