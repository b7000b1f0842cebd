// Setting a run of pixels to one value.
//
// A pixel is 6 bytes, which compilers do not turn into wide stores on their
// own; eight pixels make 48 bytes, three 16-byte stores, so long runs are
// written eight pixels at a time from a prepared pattern (short runs do not
// repay preparing it).
#pragma once

#include <cstddef>
#include <cstring>

#include "platform/aviutl.h"

inline void fill_pixels(PIXEL_YC* d, std::size_t n, PIXEL_YC v) {
    std::size_t k = 0;
    if (n >= 32) {
        const PIXEL_YC pattern[8] = {v, v, v, v, v, v, v, v};
        for (; k + 8 <= n; k += 8) std::memcpy(d + k, pattern, sizeof pattern);
    }
    for (; k < n; ++k) d[k] = v;
}
