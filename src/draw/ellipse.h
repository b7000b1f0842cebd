// Filled axis-aligned ellipses.
//
// The drawing loop walks one quarter of the outline with integer error
// terms, starting at (rx, 0) and ending below x = 0.  Each step paints the
// span of columns cx - x .. cx + x on rows cy + k and cy - k, where k is the
// number of steps taken downwards, then moves down, left, or both:
//
//   e2 = 2 F(x - 1/2, k + 1) + ry^2 / 2     e2 < 0: down
//   e  = 2 F(x - 1, k + 1/2) + rx^2 / 2     else e >= 0: left, else both
//
// with F(x, y) = ry^2 x^2 + rx^2 y^2 - rx^2 ry^2.  Since x only decreases,
// what row offset k receives is its widest span, of half width X(k), the x
// at which the walk enters that row.
//
// EllipseWidths gives X(k) without walking every step: within a row the walk
// moves left until the first x where it can step down, so X(k + 1) follows
// from X(k) and two thresholds of row k found by integer square roots.  Rows
// before the wanted ones are skipped by narrowing bounds of X(k) that hold
// for any row, so the cost follows the rows asked for, not the radii.  All
// error terms are 128-bit: they need about 4 rx ry^2, beyond 64 bits for
// radii near the int limit.
#pragma once

#include "buffers/frame.h"
#include "platform/wide_int.h"

class EllipseWidths {
public:
    EllipseWidths(long long rx, long long ry);  // both >= 1

    // Calls visit(k, X(k)) for k = begin, begin + 1, ... < end, in order,
    // stopping before the first row the walk does not reach.  Successive
    // calls must ask for increasing rows.
    template <class Visit>
    void each(long long begin, long long end, Visit&& visit);

    // The last row offset the walk can reach.
    long long last_row() const { return b_; }

    // Largest x >= 0 where row k steps down (e2 < 0), or -1.
    long long down_limit(long long k) const;
    // Largest x >= 1 where row k steps diagonally rather than left (e < 0), or -1.
    long long diagonal_limit(long long k) const;
    // X(k + 1) from X(k) = x.
    long long next(long long x, long long k) const;

private:
    long long exact_at(long long k);

    long long a_, b_;
    platform::wide_int a2_, b2_;
    long long known_k_ = 0, known_x_;  // a row whose X is known exactly
};

template <class Visit>
void EllipseWidths::each(long long begin, long long end, Visit&& visit) {
    if (begin >= end) return;
    long long k = begin;
    long long x = exact_at(begin);
    while (x >= 0) {
        visit(k, x);
        if (k + 1 >= end) break;
        x = next(x, k);
        ++k;
    }
    known_k_ = k;
    known_x_ = x;
}

// Paints the ellipse of centre (cx, cy) and radii rx, ry (both >= 1) where it
// overlaps the buffer, on the calling thread.
void fill_ellipse(const Frame& frame, int cx, int cy, int rx, int ry, PIXEL_YC colour);
