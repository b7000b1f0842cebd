// The in-place pixel loop of the colour and tone kernels, and the two ways a
// computed value goes into a 16-bit component.
#pragma once

#include <cmath>
#include <cstdint>

#include "buffers/frame.h"
#include "buffers/numeric.h"
#include "buffers/parallel.h"
#include "buffers/region.h"

// Runs `body(PIXEL_YC&)` on every pixel of an already clipped region, the
// rows divided among the parallel workers.  Pixels are independent.
template <class Body>
inline void for_each_pixel(const Frame& frame, const Region& region, Body&& body) {
    if (region.empty()) return;
    parallel_rows(region.h, [&](int i) {
        PIXEL_YC* p = frame.row(region.y + i) + region.x;
        for (int j = 0; j < region.w; ++j) body(p[j]);
    });
}

// A 32-bit value limited to the 16-bit range (for the members that saturate
// rather than wrap).
inline std::int16_t saturate16(long long v) {
    return static_cast<std::int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

// A double truncated toward zero and saturated to the 16-bit range.
inline std::int16_t saturate_component(double v) { return saturate16(trunc_to_int(v)); }
