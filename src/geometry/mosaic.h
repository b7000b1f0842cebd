// Mosaic: a region replaced by a grid of blocks, each the average colour of
// the corresponding block of the source.
//
// Blocks are bw x bh, aligned to the region's top-left corner (the last
// block of a row or column may be narrower or lower).  Source pixels outside
// the buffer are left out of the averages; destination pixels outside the
// buffer are skipped; a block that received no source pixel leaves its
// destination unchanged.  Averages truncate toward zero.
#pragma once

#include "buffers/frame.h"

struct MosaicRegion {
    int sx = 0, sy = 0, w = 0, h = 0, dx = 0, dy = 0;
    int bw = 1, bh = 1;  // block size, 1..max_w and 1..max_h
};

// False when the block table could not be allocated; nothing is written then.
bool mosaic(const Frame& src, const Frame& dst, const MosaicRegion& r);
