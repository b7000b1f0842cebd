// Row loops of the compositing functions: body(s, d) or body(s, d, m) for
// every pixel of a clipped area, rows in parallel.
#pragma once

#include "buffers/parallel.h"
#include "draw/copy.h"

template <class Body>
void pair_rows(const Frame& src, const Frame& dst, const PairArea& area, Body body) {
    parallel_rows(area.h, [&](int i) {
        const PIXEL_YC* s = src.row(area.sy + i) + area.sx;
        PIXEL_YC* d = dst.row(area.dy + i) + area.dx;
        for (int j = 0; j < area.w; ++j) body(s[j], d[j]);
    });
}

template <class Body>
void masked_rows(const Frame& src, const Frame& dst, const Frame& mask, const MaskedArea& area,
                 Body body) {
    parallel_rows(area.h, [&](int i) {
        const PIXEL_YC* s = src.row(area.sy + i) + area.sx;
        const PIXEL_YC* m = mask.row(area.my + i) + area.mx;
        PIXEL_YC* d = dst.row(area.dy + i) + area.dx;
        for (int j = 0; j < area.w; ++j) body(s[j], d[j], m[j]);
    });
}
