// rotate and affine: every destination pixel mapped back into the source.
//
// The row loops, with the sampler, are compiled once per instruction set
// and chosen at run time (Highway); the rows are mapped and split into
// threads here.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "geometry/warp.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cmath>

#include "buffers/rows.h"
#include "geometry/bilinear_simd-inl.h"
#include "geometry/offsets.h"
#include "geometry/resample.h"

// What the row loops need of a transform, shared by every target's kernels
// (this file is compiled once per instruction set; defined on the first
// pass).
#ifndef QUORVEL_GEOMETRY_WARP_ROWS_
#define QUORVEL_GEOMETRY_WARP_ROWS_
namespace {

// One row of rotate: destination column j samples the source at
//   (bx + floor(U / 4096), by + floor(V / 4096)), fractions (U >> 4) & 255
// and (V >> 4) & 255, with U = u0 + j kc and V = v0 - j ks.  Columns
// [j0, j1) lie in the readable area.
struct RotateRow {
    const Frame* src;
    ReadArea area;
    long long bx, by, u0, v0, j0, j1;
    int kc, ks;
};

// The inverse map of affine_region along one row Y: the factors of X, the
// products m12 Y and m11 Y, and the four constant products.
struct InverseRow {
    double m22, m21, det;
    double m12_y, m11_y;
    double m12_m23, m22_m13, m21_m13, m11_m23;
};

}  // namespace
#endif  // QUORVEL_GEOMETRY_WARP_ROWS_

HWY_BEFORE_NAMESPACE();
namespace warp_simd {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;
using bilinear_simd::HWY_NAMESPACE::sample_at;

static void rotate_row(const RotateRow& r, PIXEL_YC* d) {
    const Frame& src = *r.src;
    for (long long j = r.j0; j < r.j1; ++j) {
        const long long u = r.u0 + j * r.kc, v = r.v0 - j * r.ks;
        const int ix = static_cast<int>(r.bx + (u >> 12));
        const int iy = static_cast<int>(r.by + (v >> 12));
        const bool single = ix == r.area.x1 - 1 || iy == r.area.y1 - 1;
        d[j] = sample_at(src, ix, iy, static_cast<int>((u >> 4) & 255),
                         static_cast<int>((v >> 4) & 255), single);
    }
}

constexpr int kPositionChunk = 64;

// Source positions of destination columns X0 .. X0 + n - 1 of one row:
//   xs = (((m22 X - m12 Y) + m12 m23) - m22 m13) / det
//   ys = (((-m21 X + m11 Y) + m21 m13) - m11 m23) / det
// each operation rounded as written, so vector lanes give the same doubles.
HWY_INLINE void inverse_positions(const InverseRow& r, int X0, int n, double* xs, double* ys) {
    const hn::ScalableTag<double> d;
    const int lanes = static_cast<int>(hn::Lanes(d));
    const auto m22 = hn::Set(d, r.m22), m21 = hn::Set(d, -r.m21), det = hn::Set(d, r.det);
    const auto m12_y = hn::Set(d, r.m12_y), m11_y = hn::Set(d, r.m11_y);
    const auto m12_m23 = hn::Set(d, r.m12_m23), m22_m13 = hn::Set(d, r.m22_m13);
    const auto m21_m13 = hn::Set(d, r.m21_m13), m11_m23 = hn::Set(d, r.m11_m23);
    int k = 0;
    for (; k + lanes <= n; k += lanes) {
        const auto X = hn::Iota(d, static_cast<double>(X0 + k));
        const auto x = hn::Sub(hn::Add(hn::Sub(hn::Mul(m22, X), m12_y), m12_m23), m22_m13);
        const auto y = hn::Sub(hn::Add(hn::Add(hn::Mul(m21, X), m11_y), m21_m13), m11_m23);
        hn::StoreU(hn::Div(x, det), d, xs + k);
        hn::StoreU(hn::Div(y, det), d, ys + k);
    }
    for (; k < n; ++k) {
        const double X = X0 + k;
        xs[k] = (((r.m22 * X - r.m12_y) + r.m12_m23) - r.m22_m13) / r.det;
        ys[k] = (((-r.m21 * X + r.m11_y) + r.m21_m13) - r.m11_m23) / r.det;
    }
}

// Destination columns [x0, x1) of one row of affine from `src`.
static void affine_row(const Frame& src, const InverseRow& row, int x0, int x1, PIXEL_YC* d) {
    const double max_x = src.max_w, max_y = src.max_h;
    double xs[kPositionChunk], ys[kPositionChunk];
    for (int X0 = x0; X0 < x1; X0 += kPositionChunk) {
        const int n = std::min(kPositionChunk, x1 - X0);
        inverse_positions(row, X0, n, xs, ys);
        for (int j = 0; j < n; ++j) {
            const double x = xs[j], y = ys[j];
            // trunc(x) in 0..max_w-1 exactly when -1 < x < max_w; NaN
            // and infinities fail these tests.
            if (!(x > -1.0 && x < max_x && y > -1.0 && y < max_y)) continue;
            const int ix = static_cast<int>(x), iy = static_cast<int>(y);
            const int fx = static_cast<int>(static_cast<long long>(256.0 * x) & 255);
            const int fy = static_cast<int>(static_cast<long long>(256.0 * y) & 255);
            d[X0 + j] = sample_at(src, ix, iy, fx, fy, ix == src.max_w - 1 || iy == src.max_h - 1);
        }
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace warp_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace warp_simd {
HWY_EXPORT(rotate_row);
HWY_EXPORT(affine_row);
}  // namespace warp_simd

namespace {

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
    const auto rotate_row = HWY_DYNAMIC_DISPATCH(warp_simd::rotate_row);
    parallel_rows(dst.max_h, [&](int t) {
        const long long ddy = t - oy;
        // U = (j - ox) kc + ddy ks and V = ddy kc - (j - ox) ks, linear in j.
        const long long u0 = -ox * kc + ddy * ks;
        const long long v0 = ddy * kc + ox * ks;
        // Columns whose source pixel, bx + floor(U / 4096) and
        // by + floor(V / 4096), lies in the readable area.
        Span cols =
            solve_linear(0, dst.max_w, u0, kc, (area.x0 - bx) * 4096, (area.x1 - bx) * 4096);
        cols = cols &
               solve_linear(0, dst.max_w, v0, -ks, (area.y0 - by) * 4096, (area.y1 - by) * 4096);
        rotate_row({&src, area, bx, by, u0, v0, cols.begin, cols.end, kc, ks}, dst.row(t));
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
    const auto affine_row = HWY_DYNAMIC_DISPATCH(warp_simd::affine_row);
    parallel_rows(out.y1 - out.y0, [&](int k) {
        const int Y = out.y0 + k;
        const InverseRow row{m22,       m21,       det,       m12 * Y,  m11 * Y,
                             m12 * m23, m22 * m13, m21 * m13, m11 * m23};
        affine_row(src, row, out.x0, out.x1, dst.row(Y));
    });
}
#endif  // HWY_ONCE
