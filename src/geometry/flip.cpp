#include "geometry/flip.h"

#include <cstring>

#include "buffers/rows.h"
#include "geometry/offsets.h"

namespace {

// d[-k] = s[k] for k = 0..n-1: one row segment written right to left.
void copy_reversed(const PIXEL_YC* s, PIXEL_YC* d, long long n) {
    for (long long k = 0; k < n; ++k) d[-k] = s[k];
}

// Copies two rows, a to a_out and b to b_out, 16 bytes of each in turn.
// Interleaving the four streams this way copies a vertical flip faster than
// one row after the other.
void copy_row_pair(const char* a, char* a_out, const char* b, char* b_out, std::size_t bytes) {
    std::size_t k = 0;
    for (; k + 16 <= bytes; k += 16) {
        char ta[16], tb[16];
        std::memcpy(ta, a + k, 16);
        std::memcpy(tb, b + k, 16);
        std::memcpy(a_out + k, ta, 16);
        std::memcpy(b_out + k, tb, 16);
    }
    std::memcpy(a_out + k, a + k, bytes - k);
    std::memcpy(b_out + k, b + k, bytes - k);
}

}  // namespace

void flip_horizontal(const Frame& src, const Frame& dst, const FlipRegion& r) {
    const Span rows = forward_inside(r.h, r.sy, src.max_h) & forward_inside(r.h, r.dy, dst.max_h);
    const long long last = static_cast<long long>(r.dx) + r.w - 1;  // destination of offset 0
    const Span cols = forward_inside(r.w, r.sx, src.max_w) & backward_inside(r.w, last, dst.max_w);
    if (rows.empty() || cols.empty()) return;
    parallel_rows(static_cast<int>(rows.size()), [&](int k) {
        const long long i = rows.begin + k;
        const PIXEL_YC* s = src.row(static_cast<int>(r.sy + i)) + (r.sx + cols.begin);
        PIXEL_YC* d = dst.row(static_cast<int>(r.dy + i)) + (last - cols.begin);
        copy_reversed(s, d, cols.size());
    });
}

void flip_vertical(const Frame& src, const Frame& dst, const FlipRegion& r) {
    const long long last = static_cast<long long>(r.dy) + r.h - 1;  // destination row of row 0
    const Span rows = forward_inside(r.h, r.sy, src.max_h) & backward_inside(r.h, last, dst.max_h);
    const Span cols = forward_inside(r.w, r.sx, src.max_w) & forward_inside(r.w, r.dx, dst.max_w);
    if (rows.empty() || cols.empty()) return;
    const std::size_t bytes = sizeof(PIXEL_YC) * static_cast<std::size_t>(cols.size());
    auto source = [&](long long i) {
        return reinterpret_cast<const char*>(src.row(static_cast<int>(r.sy + i)) +
                                             (r.sx + cols.begin));
    };
    auto target = [&](long long i) {
        return reinterpret_cast<char*>(dst.row(static_cast<int>(last - i)) + (r.dx + cols.begin));
    };
    // Rows are taken in pairs from both ends of the region, as job k's rows
    // k and n - 1 - k.
    const long long n = rows.size();
    parallel_rows(static_cast<int>((n + 1) / 2), [&](int k) {
        const long long i = rows.begin + k, j = rows.end - 1 - k;
        if (i == j)
            std::memcpy(target(i), source(i), bytes);
        else
            copy_row_pair(source(i), target(i), source(j), target(j), bytes);
    });
}
