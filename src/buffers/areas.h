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

// A source position (sx, sy), a destination (dx, dy) and a mask (mx, my)
// sharing one clipped size w x h.
struct MaskedArea {
    int sx = 0, sy = 0, dx = 0, dy = 0, mx = 0, my = 0, w = 0, h = 0;
};

// The masked area of a triple whose positions are source, destination, mask.
inline MaskedArea masked_area(const TripleArea& t) {
    return {t.ax, t.ay, t.bx, t.by, t.dx, t.dy, t.w, t.h};
}
