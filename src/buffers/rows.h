// The row loops of every pointwise operation.
//
// The rows of an area are cut into one contiguous block per worker (the
// count set from the thread-count track); each job computes its own block
// and the blocks run on the plug-in's thread pool in one call.  Pixels of
// different rows never depend on each other here, so the result does not
// depend on the worker count.  Bodies must not throw.
//
//   parallel_ranges(n, body(begin, end))    rows [begin, end) of 0..n-1
//   parallel_rows(n, body(i))               every row i of 0..n-1
//   for_each_pixel(f, region, body(p))      one area, in place
//   for_each_pair(s, d, area, body(s, d))   read at (sx, sy), write at (dx, dy)
//   for_each_triple(a, b, d, area, body(a, b, d))
//                                           two areas read, one written
//   for_each_masked(s, d, m, area, body(s, d, m))
//                                           a pair under a mask
// Areas are clipped by the caller.  Every pixel is passed by reference; the
// body writes only its output.
#pragma once

#include <algorithm>

#include "buffers/areas.h"
#include "buffers/frame.h"
#include "buffers/region.h"
#include "platform/thread_pool.h"

// Rows per job below which splitting costs more than it saves.
constexpr int kMinRowsPerJob = 4;

template <class Body>
void parallel_ranges(int rows, Body&& body) {
    if (rows <= 0) return;
    const int jobs = std::min(pool::worker_count(), std::max(1, rows / kMinRowsPerJob));
    if (jobs <= 1) {
        body(0, rows);
        return;
    }
    pool::run_jobs(jobs, [&](int k) {
        const long long begin = static_cast<long long>(rows) * k / jobs;
        const long long end = static_cast<long long>(rows) * (k + 1) / jobs;
        body(static_cast<int>(begin), static_cast<int>(end));
    });
}

template <class Body>
void parallel_rows(int rows, Body&& body) {
    parallel_ranges(rows, [&](int begin, int end) {
        for (int i = begin; i < end; ++i) body(i);
    });
}

template <class Body>
void for_each_pixel(const Frame& frame, const Region& region, Body&& body) {
    if (region.empty()) return;
    parallel_rows(region.h, [&](int i) {
        PIXEL_YC* p = frame.row(region.y + i) + region.x;
        for (int j = 0; j < region.w; ++j) body(p[j]);
    });
}

template <class Body>
void for_each_pair(const Frame& src, const Frame& dst, const PairArea& area, Body&& body) {
    if (area.w < 1) return;
    parallel_rows(area.h, [&](int i) {
        PIXEL_YC* s = src.row(area.sy + i) + area.sx;
        PIXEL_YC* d = dst.row(area.dy + i) + area.dx;
        for (int j = 0; j < area.w; ++j) body(s[j], d[j]);
    });
}

template <class Body>
void for_each_triple(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area,
                     Body&& body) {
    if (area.w < 1) return;
    parallel_rows(area.h, [&](int i) {
        PIXEL_YC* pa = a.row(area.ay + i) + area.ax;
        PIXEL_YC* pb = b.row(area.by + i) + area.bx;
        PIXEL_YC* d = dst.row(area.dy + i) + area.dx;
        for (int j = 0; j < area.w; ++j) body(pa[j], pb[j], d[j]);
    });
}

template <class Body>
void for_each_masked(const Frame& src, const Frame& dst, const Frame& mask, const MaskedArea& area,
                     Body&& body) {
    if (area.w < 1) return;
    parallel_rows(area.h, [&](int i) {
        PIXEL_YC* s = src.row(area.sy + i) + area.sx;
        PIXEL_YC* m = mask.row(area.my + i) + area.mx;
        PIXEL_YC* d = dst.row(area.dy + i) + area.dx;
        for (int j = 0; j < area.w; ++j) body(s[j], d[j], m[j]);
    });
}
