// Where a neighbourhood function reads and writes: the filters, morphology,
// labelling and the OpenCV bridge.
//
// The w x h rectangle at (sx, sy) of the source, with whatever margin the
// function's window needs, is copied out of the frame buffer into a work
// array (reads beyond the visible picture mirrored at its edges where the
// function says so), processed there, and the w x h result is copied to
// (dx, dy) of the destination, clipped to the buffer.  Because everything is
// read before anything is written, source and destination may be the same
// buffer and the rectangles may overlap.
#pragma once

#include <cstdint>
#include <functional>

#include "buffers/frame.h"

struct AreaJob {
    Frame source;
    Frame destination;
    int sx = 0, sy = 0;  // source rectangle
    int w = 0, h = 0;    // positive, at most the buffer size
    int dx = 0, dy = 0;  // destination position
    int picture_w = 0;   // the visible picture of the source, where reads mirror
    int picture_h = 0;
    std::uint32_t threads = 1;  // jobs of the toolkit's range calls (0: one per processor)

    // True when a pixel written to the destination could be read from the
    // source: the two buffers share memory.  Functions that stream rows
    // straight from source to destination, without a whole work array in
    // between, may do so only when this is false.
    bool reads_back() const {
        const PIXEL_YC* s0 = source.pixels;
        const PIXEL_YC* d0 = destination.pixels;
        const auto before = [](const PIXEL_YC* a, const PIXEL_YC* b) {
            return std::less<const PIXEL_YC*>()(a, b);
        };
        return before(s0, d0 + destination.pixel_count()) && before(d0, s0 + source.pixel_count());
    }
};
