// Which offsets of a region fall inside a buffer.
//
// The flips and mosaic walk a whole requested region and skip, pixel by
// pixel, positions outside the buffer.  Because positions move linearly with
// the offset, the offsets that survive form one interval; computing it once
// per region keeps the tests out of the inner loops.  Arithmetic is 64-bit,
// so positions near the int limits cannot overflow.
#pragma once

#include <algorithm>

struct Span {
    long long begin = 0, end = 0;  // offsets [begin, end)
    bool empty() const { return begin >= end; }
    long long size() const { return end > begin ? end - begin : 0; }
};

// Offsets t of 0..n-1 with 0 <= base + t < bound.
inline Span forward_inside(long long n, long long base, long long bound) {
    return {std::max(0LL, -base), std::min(n, bound - base)};
}

// Offsets t of 0..n-1 with 0 <= base - t < bound (a mirrored walk).
inline Span backward_inside(long long n, long long base, long long bound) {
    return {std::max(0LL, base - bound + 1), std::min(n, base + 1)};
}

inline Span operator&(const Span& a, const Span& b) {
    return {std::max(a.begin, b.begin), std::min(a.end, b.end)};
}
