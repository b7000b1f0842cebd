#include "geometry/resample.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "buffers/rows.h"
#include "geometry/bilinear.h"
#include "geometry/offsets.h"

namespace {

long long clamp_to(long long v, long long bound) { return std::clamp(v, 0LL, bound); }

// floor(n * num / den) for n = n0, n0 + 1, ... with one division at the
// start: resize's source positions, exact for any sizes.  num, den > 0.
class ScaledSteps {
public:
    ScaledSteps(long long n0, long long num, long long den)
        : q_(num / den), r_(num % den), den_(den) {
        const __int128 p = static_cast<__int128>(n0) * num;
        value_ = static_cast<long long>(p / den);
        rem_ = static_cast<long long>(p % den);
    }
    long long value() const { return value_; }
    void next() {
        value_ += q_;
        rem_ += r_;
        if (rem_ >= den_) rem_ -= den_, ++value_;
    }

private:
    long long value_, rem_;
    const long long q_, r_, den_;
};

// One destination column of resize: the source column and its fraction.
struct ColumnTap {
    int ix;
    int fx;
};

// The integers j of [lo, hi) with a <= u0 + j * k < b.
Span solve_linear(long long lo, long long hi, long long u0, long long k, long long a, long long b) {
    auto floor_div = [](long long n, long long d) {  // d > 0
        return n >= 0 ? n / d : -((-n + d - 1) / d);
    };
    Span s{lo, hi};
    if (k == 0) return (a <= u0 && u0 < b) ? s : Span{0, 0};
    if (k > 0) return s & Span{floor_div(a - u0 + k - 1, k), floor_div(b - u0 + k - 1, k)};
    return s & Span{floor_div(u0 - b, -k) + 1, floor_div(u0 - a, -k) + 1};
}

}  // namespace

ReadArea read_area(const Frame& src, int x, int y, int w, int h) {
    ReadArea a;
    a.x0 = static_cast<int>(clamp_to(x, src.max_w));
    a.x1 = static_cast<int>(clamp_to(static_cast<long long>(x) + w, src.max_w));
    a.y0 = static_cast<int>(clamp_to(y, src.max_h));
    a.y1 = static_cast<int>(clamp_to(static_cast<long long>(y) + h, src.max_h));
    return a;
}

void resize_region(const Frame& src, const Frame& dst, const ResizeJob& job) {
    const ReadArea area = read_area(src, job.sx, job.sy, std::min(job.sw, src.max_w),
                                    std::min(job.sh, src.max_h));
    const Span cols = forward_inside(std::min(job.dw, dst.max_w), job.dx, dst.max_w);
    const Span rows = forward_inside(std::min(job.dh, dst.max_h), job.dy, dst.max_h);
    if (area.empty() || cols.empty() || rows.empty()) return;

    // The source column depends on the destination column alone: one table
    // for all rows.  Source columns grow with the destination column, so the
    // readable ones are one run, and the single-tap ones (the last readable
    // column) end it.
    std::vector<ColumnTap> taps;
    taps.reserve(static_cast<std::size_t>(cols.size()));
    long long first_col = cols.begin;
    ScaledSteps x(cols.begin, static_cast<long long>(job.sw) * 256, job.dw);
    for (long long j = cols.begin; j < cols.end; ++j, x.next()) {
        const long long ix = job.sx + (x.value() >> 8);
        if (ix < area.x0) {
            first_col = j + 1;
            continue;
        }
        if (ix >= area.x1) break;
        taps.push_back({static_cast<int>(ix), static_cast<int>(x.value() & 255)});
    }
    const std::size_t n = taps.size();
    std::size_t n_pairs = n;  // entries before the single-tap ones
    while (n_pairs > 0 && taps[n_pairs - 1].ix == area.x1 - 1) --n_pairs;
    if (n == 0) return;

    parallel_ranges(static_cast<int>(rows.size()), [&](int begin, int end) {
        ScaledSteps y(rows.begin + begin, static_cast<long long>(job.sh) * 256, job.dh);
        for (long long i = rows.begin + begin; i < rows.begin + end; ++i, y.next()) {
            const long long iy = job.sy + (y.value() >> 8);
            if (iy < area.y0 || iy >= area.y1) continue;
            const int fy = static_cast<int>(y.value() & 255);
            const PIXEL_YC* r0 = src.row(static_cast<int>(iy));
            PIXEL_YC* d = dst.row(static_cast<int>(job.dy + i)) + (job.dx + first_col);
            std::size_t k = 0;
            if (iy < area.y1 - 1) {
                const PIXEL_YC* r1 = r0 + src.max_w;
                for (; k < n_pairs; ++k) {
                    const int ix = taps[k].ix;
                    d[k] = bilinear_sample(r0[ix], r0[ix + 1], r1[ix], r1[ix + 1], taps[k].fx, fy);
                }
            }
            for (; k < n; ++k) d[k] = r0[taps[k].ix];
        }
    });
}

bool rotation_factors(double angle, int* kc, int* ks) {
    if (!std::isfinite(angle)) return false;
    *kc = static_cast<int>(4096 * std::cos(angle));
    *ks = static_cast<int>(4096 * std::sin(angle));
    return true;
}

void rotate_region(const Frame& src, const Frame& dst, const RotateJob& job) {
    int kc = 0, ks = 0;
    if (!rotation_factors(job.angle, &kc, &ks)) return;
    const ReadArea area =
        read_area(src, job.sx, job.sy, std::min(job.w, src.max_w), std::min(job.h, src.max_h));
    if (area.empty()) return;
    // Destination (j, t) is offset (j - ox, t - oy) from the rotation point,
    // whose source position is (bx, by).
    const long long ox = static_cast<long long>(job.dx) + job.cx;
    const long long oy = static_cast<long long>(job.dy) + job.cy;
    const long long bx = static_cast<long long>(job.sx) + job.cx;
    const long long by = static_cast<long long>(job.sy) + job.cy;
    parallel_rows(dst.max_h, [&](int t) {
        const long long ddy = t - oy;
        // U = (j - ox) kc + ddy ks and V = ddy kc - (j - ox) ks, linear in j.
        const long long u0 = -ox * kc + ddy * ks;
        const long long v0 = ddy * kc + ox * ks;
        // Columns whose source pixel, bx + floor(U / 4096) and
        // by + floor(V / 4096), lies in the readable area.
        Span cols = solve_linear(0, dst.max_w, u0, kc, (area.x0 - bx) * 4096, (area.x1 - bx) * 4096);
        cols = cols & solve_linear(0, dst.max_w, v0, -ks, (area.y0 - by) * 4096,
                                   (area.y1 - by) * 4096);
        PIXEL_YC* d = dst.row(t);
        for (long long j = cols.begin; j < cols.end; ++j) {
            const long long u = u0 + j * kc, v = v0 - j * ks;
            const int ix = static_cast<int>(bx + (u >> 12));
            const int iy = static_cast<int>(by + (v >> 12));
            const bool single = ix == area.x1 - 1 || iy == area.y1 - 1;
            d[j] = sample_at(src, ix, iy, static_cast<int>((u >> 4) & 255),
                             static_cast<int>((v >> 4) & 255), single);
        }
    });
}

void affine_region(const Frame& src, const Frame& dst, const AffineJob& job) {
    const double m11 = job.m[0], m12 = job.m[1], m13 = job.m[2];
    const double m21 = job.m[3], m22 = job.m[4], m23 = job.m[5];
    for (double v : job.m)
        if (!std::isfinite(v)) return;
    const double det = m11 * m22 - m12 * m21;
    if (det == 0 || !std::isfinite(det)) return;
    const ReadArea out =
        read_area(dst, job.x, job.y, std::min(job.w, dst.max_w), std::min(job.h, dst.max_h));
    if (out.empty()) return;
    // The inverse, term by term in the order of
    //   xs = (m22 X - m12 Y + m12 m23 - m22 m13) / det
    //   ys = (-m21 X + m11 Y + m21 m13 - m11 m23) / det
    // so that every position is the same double as computed in one piece.
    const double cx1 = m12 * m23, cx2 = m22 * m13;
    const double cy1 = m21 * m13, cy2 = m11 * m23;
    const double max_x = src.max_w, max_y = src.max_h;
    parallel_rows(out.y1 - out.y0, [&](int k) {
        const int Y = out.y0 + k;
        const double yx = m12 * Y, yy = m11 * Y;
        PIXEL_YC* d = dst.row(Y);
        for (int X = out.x0; X < out.x1; ++X) {
            const double xs = (((m22 * X - yx) + cx1) - cx2) / det;
            const double ys = (((-m21 * X + yy) + cy1) - cy2) / det;
            // trunc(xs) in 0..max_w-1 exactly when -1 < xs < max_w; NaN and
            // infinities fail these tests.
            if (!(xs > -1.0 && xs < max_x && ys > -1.0 && ys < max_y)) continue;
            const int ix = static_cast<int>(xs), iy = static_cast<int>(ys);
            const int fx = static_cast<int>(static_cast<long long>(256.0 * xs) & 255);
            const int fy = static_cast<int>(static_cast<long long>(256.0 * ys) & 255);
            d[X] = sample_at(src, ix, iy, fx, fy, ix == src.max_w - 1 || iy == src.max_h - 1);
        }
    });
}
