// Areas that two or three buffers share, already clipped: what a kernel that
// reads one area and writes another is given.
#pragma once

// A w x h area read at (sx, sy) of one buffer and written at (dx, dy) of
// another; both positions lie inside their buffers.
struct PairArea {
    int sx = 0, sy = 0, dx = 0, dy = 0, w = 0, h = 0;
};

// Two w x h input areas at (ax, ay) and (bx, by) and an output area at
// (dx, dy), all inside their buffers.
struct TripleArea {
    int ax = 0, ay = 0, bx = 0, by = 0, dx = 0, dy = 0, w = 0, h = 0;
};
