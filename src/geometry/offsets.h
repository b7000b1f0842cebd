// Which offsets of a region fall inside a buffer.
//
// The flips and mosaic walk a whole requested region and skip positions
// outside the buffer: a cut border (toolkit/border.h).  Because positions
// move linearly with the offset, the offsets that survive form one
// interval; computing it once per region keeps the tests out of the inner
// loops.  Arithmetic is 64-bit, so positions near the int limits cannot
// overflow.
#pragma once

#include <algorithm>

#include "toolkit/border.h"

struct Span {
    long long begin = 0, end = 0;  // offsets [begin, end)
    bool empty() const { return begin >= end; }
    long long size() const { return end > begin ? end - begin : 0; }
};

// Offsets t of 0..n-1 with 0 <= base + t < bound.
inline Span forward_inside(long long n, long long base, long long bound) {
    const toolkit::line_span kept = toolkit::on_line(base, std::max(n, 0LL), bound);
    return {kept.begin, kept.end};
}

// Offsets t of 0..n-1 with 0 <= base - t < bound (a mirrored walk): the
// same run read from its far end.
inline Span backward_inside(long long n, long long base, long long bound) {
    n = std::max(n, 0LL);
    const toolkit::line_span kept = toolkit::on_line(base - n + 1, n, bound);
    return {n - kept.end, n - kept.begin};
}

inline Span operator&(const Span& a, const Span& b) {
    return {std::max(a.begin, b.begin), std::min(a.end, b.end)};
}
