// The row loops of every pointwise operation, on the pool's range call.
//
// The rows of an area go to pool::parallel_for in blocks of contiguous
// rows, which the calling thread and the pool's threads take in turn (see
// platform/thread_pool.h).  Pixels of different rows never depend on each
// other here, so the result does not depend on the worker count or on who
// took which block.  Bodies must not throw.
//
//   parallel_rows(n, body(i))               every row i of 0..n-1
//   parallel_ranges(n, body(begin, end))    rows [begin, end) of 0..n-1
//   for_each_pixel(f, region, body(p))      one area, in place
//   for_each_pair(s, d, area, body(s, d))   read at (sx, sy), write at (dx, dy)
//   for_each_triple(a, b, d, area, body(a, b, d))
//                                           two areas read, one written
//   for_each_masked(s, d, m, area, body(s, d, m))
//                                           a pair under a mask
// and, for kernels that work on runs of pixels (vector code), the same
// loops handing over one row's run at a time:
//   for_each_pixel_row(f, region, body(row, n, args...), args...)
//   for_each_pair_row(s, d, area, body(s_row, d_row, n, args...), args...)
//   for_each_triple_row(a, b, d, area, body(a_row, b_row, d_row, n, args...), args...)
//   for_each_masked_row(s, d, m, area, body(s_row, d_row, m_row, n, args...), args...)
// Areas are clipped by the caller.  Every pixel is passed by reference; the
// body writes only its output.
#pragma once

#include "buffers/areas.h"
#include "buffers/frame.h"
#include "buffers/region.h"
#include "platform/thread_pool.h"

// Both return false when the work deadline stopped them before every row
// was done (see pool::parallel_for).
template <class Body>
bool parallel_ranges(int rows, Body&& body) {
    return pool::parallel_for(rows, [&](const pool::Range& r) { body(r.begin, r.end); });
}

template <class Body>
bool parallel_rows(int rows, Body&& body) {
    return pool::parallel_for(rows, [&](const pool::Range& r) {
        for (int i = r.begin; i < r.end; ++i) body(i);
    });
}

// The row forms: each row's run handed over at once, followed by any
// extra arguments (a dispatched vector kernel and its parameters can be
// passed as they are: for_each_pixel_row(f, region, row, params)).
template <class Body, class... Args>
void for_each_pixel_row(const Frame& frame, const Region& region, Body&& body,
                        const Args&... args) {
    if (region.empty()) return;
    parallel_rows(region.h,
                  [&](int i) { body(frame.row(region.y + i) + region.x, region.w, args...); });
}

template <class Body, class... Args>
void for_each_pair_row(const Frame& src, const Frame& dst, const PairArea& area, Body&& body,
                       const Args&... args) {
    if (area.w < 1) return;
    parallel_rows(area.h, [&](int i) {
        body(src.row(area.sy + i) + area.sx, dst.row(area.dy + i) + area.dx, area.w, args...);
    });
}

template <class Body, class... Args>
void for_each_triple_row(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area,
                         Body&& body, const Args&... args) {
    if (area.w < 1) return;
    parallel_rows(area.h, [&](int i) {
        body(a.row(area.ay + i) + area.ax, b.row(area.by + i) + area.bx,
             dst.row(area.dy + i) + area.dx, area.w, args...);
    });
}

template <class Body, class... Args>
void for_each_masked_row(const Frame& src, const Frame& dst, const Frame& mask,
                         const MaskedArea& area, Body&& body, const Args&... args) {
    if (area.w < 1) return;
    parallel_rows(area.h, [&](int i) {
        body(src.row(area.sy + i) + area.sx, dst.row(area.dy + i) + area.dx,
             mask.row(area.my + i) + area.mx, area.w, args...);
    });
}

// The pixel forms: the row forms with the body called on each pixel.
template <class Body>
void for_each_pixel(const Frame& frame, const Region& region, Body&& body) {
    for_each_pixel_row(frame, region, [&](PIXEL_YC* p, int n) {
        for (int j = 0; j < n; ++j) body(p[j]);
    });
}

template <class Body>
void for_each_pair(const Frame& src, const Frame& dst, const PairArea& area, Body&& body) {
    for_each_pair_row(src, dst, area, [&](PIXEL_YC* s, PIXEL_YC* d, int n) {
        for (int j = 0; j < n; ++j) body(s[j], d[j]);
    });
}

template <class Body>
void for_each_triple(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area,
                     Body&& body) {
    for_each_triple_row(a, b, dst, area, [&](PIXEL_YC* pa, PIXEL_YC* pb, PIXEL_YC* d, int n) {
        for (int j = 0; j < n; ++j) body(pa[j], pb[j], d[j]);
    });
}

template <class Body>
void for_each_masked(const Frame& src, const Frame& dst, const Frame& mask, const MaskedArea& area,
                     Body&& body) {
    for_each_masked_row(src, dst, mask, area, [&](PIXEL_YC* s, PIXEL_YC* d, PIXEL_YC* m, int n) {
        for (int j = 0; j < n; ++j) body(s[j], d[j], m[j]);
    });
}
