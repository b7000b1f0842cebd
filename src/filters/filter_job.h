// Where a neighbourhood filter reads and writes.
//
// The filters copy the source rectangle, with whatever margin their window
// needs, out of a frame buffer into a work array (reading beyond the visible
// picture mirrored at its edges), filter it there, and copy the w x h result
// to the destination rectangle, clipped to the buffer.  Because everything
// is read before anything is written, source and destination may be the
// same buffer and the rectangles may overlap.
#pragma once

#include <cstdint>

#include "buffers/frame.h"

struct FilterJob {
    Frame source;
    Frame destination;
    int picture_w = 0;  // the visible picture of the source, where reads mirror
    int picture_h = 0;
    int sx = 0, sy = 0;  // source rectangle
    int w = 0, h = 0;    // positive, at most the buffer size
    int dx = 0, dy = 0;  // destination position
    std::uint32_t threads = 1;  // toolkit workers (0: one per processor)
};
