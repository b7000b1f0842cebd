#include "draw/ellipse.h"

#include <algorithm>
#include <cmath>

#include "buffers/fill_pixels.h"

namespace {

using Wide = platform::wide_int;

// Rows walked one by one before skipping ahead pays.
constexpr long long kWalkRows = 4096;

// The largest u in 0..limit with ok(u), given ok(0) and an estimate.
template <class Ok>
long long largest(long double estimate, long long limit, Ok ok) {
    long long u = estimate > static_cast<long double>(limit) ? limit
                  : estimate > 0                             ? static_cast<long long>(estimate)
                                                             : 0;
    while (u > 0 && !ok(u)) --u;
    while (u < limit && ok(u + 1)) ++u;
    return u;
}

}  // namespace

EllipseWidths::EllipseWidths(long long rx, long long ry)
    : a_(rx),
      b_(ry),
      a2_(static_cast<Wide>(rx) * rx),
      b2_(static_cast<Wide>(ry) * ry),
      known_x_(rx) {}

long long EllipseWidths::down_limit(long long k) const {
    // e2(x, k) = 2 b2 x (x - 1) + b2 + 2 a2 (k + 1)^2 - 2 a2 b2 < 0.  x(x - 1)
    // is 0 at x = 0 and 1 and grows after, so the x that pass are 0..c.
    const Wide k1 = k + 1;
    const Wide r = 2 * a2_ * b2_ - 2 * a2_ * k1 * k1 - b2_;
    if (r <= 0) return -1;
    const long double estimate =
        0.5L +
        std::sqrt(0.25L + static_cast<long double>(r) / (2.0L * static_cast<long double>(b2_)));
    return largest(estimate, a_ + 1, [&](long long x) { return 2 * b2_ * x * (x - 1) < r; });
}

long long EllipseWidths::diagonal_limit(long long k) const {
    // e(x, k) = 2 b2 (x - 1)^2 + 2 a2 k (k + 1) + a2 - 2 a2 b2 < 0, for x >= 1.
    const Wide kk = k;
    const Wide s = 2 * a2_ * b2_ - 2 * a2_ * kk * (kk + 1) - a2_;
    if (s <= 0) return -1;
    const long double estimate =
        std::sqrt(static_cast<long double>(s) / (2.0L * static_cast<long double>(b2_)));
    return 1 + largest(estimate, a_, [&](long long u) { return 2 * b2_ * u * u < s; });
}

long long EllipseWidths::next(long long x, long long k) const {
    // From (x, k) the walk steps left while it can neither step down
    // (x > c) nor diagonally (x > d), then leaves the row down from c or
    // diagonally from d.
    const long long c = down_limit(k);
    if (x <= c) return x;
    const long long d = diagonal_limit(k);
    if (x <= d) return x - 1;
    return std::max(c, d - 1);
}

long long EllipseWidths::exact_at(long long k) {
    auto walk = [this](long long from, long long x, long long to) {
        for (long long j = from; j < to && x >= 0; ++j) x = next(x, j);
        return x;
    };
    if (k - known_k_ <= kWalkRows || known_x_ < 0) return walk(known_k_, known_x_, k);
    // Whatever came before, X(s) lies between min(a, c(s - 1)) and
    // min(a, max(c(s - 1), d(s - 1) - 1)); both bounds follow next(), which
    // keeps order, and every row narrows them again, so once they meet the
    // walk is known exactly from there.
    for (long long span = 64;; span *= 4) {
        const long long start = k - span;
        if (start <= known_k_) return walk(known_k_, known_x_, k);
        long long c = down_limit(start - 1), d = diagonal_limit(start - 1);
        long long lo = std::min(a_, c), hi = std::min(a_, std::max(c, d - 1));
        long long j = start;
        while (lo != hi && j < k) {
            c = down_limit(j);
            d = diagonal_limit(j);
            auto step = [&](long long x) {
                return x <= c ? x : x <= d ? x - 1 : std::max(c, d - 1);
            };
            lo = std::max(step(lo), std::min(a_, c));
            hi = std::min(step(hi), std::min(a_, std::max(c, d - 1)));
            ++j;
        }
        if (lo == hi) return walk(j, lo, k);
    }
}

namespace {

// One span of the loop: columns lo..hi of row r, where they meet the buffer.
void fill_span(const Frame& f, long long lo, long long hi, long long r, PIXEL_YC colour) {
    if (r < 0 || r >= f.max_h || lo >= f.max_w || hi < 0 || lo > hi) return;
    lo = std::max(lo, 0LL);
    hi = std::min(hi, static_cast<long long>(f.max_w) - 1);
    fill_pixels(f.row(static_cast<int>(r)) + lo, static_cast<std::size_t>(hi - lo + 1), colour);
}

}  // namespace

void fill_ellipse(const Frame& frame, int cx, int cy, int rx, int ry, PIXEL_YC colour) {
    if (rx < 1 || ry < 1 || frame.max_w < 1 || frame.max_h < 1) return;
    EllipseWidths widths(rx, ry);
    const long long H = frame.max_h, last = widths.last_row() + 1;
    // Row offsets whose lower row cy + k, or upper row cy - k, is in the buffer.
    const long long down0 = std::max(0LL, -static_cast<long long>(cy)),
                    down1 = std::min(last, H - cy);
    const long long up0 = std::max(0LL, cy - H + 1), up1 = std::min(last, cy + 1LL);
    auto paint = [&](long long k, long long x) {
        const long long lo = static_cast<long long>(cx) - x, hi = static_cast<long long>(cx) + x;
        if (k >= down0 && k < down1) fill_span(frame, lo, hi, cy + k, colour);
        if (k > 0 && k >= up0 && k < up1) fill_span(frame, lo, hi, cy - k, colour);
    };
    // The two ranges in increasing order, overlapping ones merged.
    long long r0[2] = {down0, up0}, r1[2] = {down1, up1};
    if (r0[1] < r0[0]) std::swap(r0[0], r0[1]), std::swap(r1[0], r1[1]);
    if (r1[0] > r0[0] && r0[1] <= r1[0]) {
        widths.each(r0[0], std::max(r1[0], r1[1]), paint);
    } else {
        widths.each(r0[0], r1[0], paint);
        widths.each(r0[1], r1[1], paint);
    }
}
