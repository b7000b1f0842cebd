// mosaic, resize, rotate and affine pixel by pixel, straight from their
// definitions, for checking the kernels' row ranges, tables and vector
// code.
#pragma once

#include <algorithm>
#include <cmath>

#include "geometry/bilinear.h"
#include "geometry/mosaic.h"
#include "geometry/resample.h"
#include "mask_test_util.h"

inline PIXEL_YC reference_sample(TestFrame& s, long long ix, long long iy, long long fx,
                                 long long fy, bool single) {
    const int x = static_cast<int>(ix), y = static_cast<int>(iy);
    if (single) return s.at(x, y);
    return bilinear_sample(s.at(x, y), s.at(x + 1, y), s.at(x, y + 1), s.at(x + 1, y + 1),
                           static_cast<int>(fx), static_cast<int>(fy));
}

inline void reference_resize(TestFrame& s, TestFrame& d, const ResizeJob& j) {
    const int W = s.frame.max_w, H = s.frame.max_h;
    const ReadArea a = read_area(s.frame, j.sx, j.sy, std::min(j.sw, W), std::min(j.sh, H));
    for (long long yd = j.dy; yd < j.dy + std::min(j.dh, H); ++yd)
        for (long long xd = j.dx; xd < j.dx + std::min(j.dw, W); ++xd) {
            const long long Y = (yd - j.dy) * j.sh * 256 / j.dh,
                            X = (xd - j.dx) * j.sw * 256 / j.dw;
            const long long iy = j.sy + (Y >> 8), ix = j.sx + (X >> 8);
            if (yd < 0 || yd >= H || xd < 0 || xd >= W || iy < a.y0 || iy >= a.y1 || ix < a.x0 ||
                ix >= a.x1)
                continue;
            d.at(static_cast<int>(xd), static_cast<int>(yd)) =
                reference_sample(s, ix, iy, X & 255, Y & 255, ix == a.x1 - 1 || iy == a.y1 - 1);
        }
}

inline void reference_rotate(TestFrame& s, TestFrame& d, const RotateJob& j) {
    const int W = s.frame.max_w, H = s.frame.max_h;
    const ReadArea a = read_area(s.frame, j.sx, j.sy, std::min(j.w, W), std::min(j.h, H));
    const long long kc = static_cast<int>(4096 * std::cos(j.angle)),
                    ks = static_cast<int>(4096 * std::sin(j.angle));
    for (int t = 0; t < H; ++t)
        for (int x = 0; x < W; ++x) {
            const long long ddx = x - (j.dx + j.cx), ddy = t - (j.dy + j.cy);
            const long long u = ddx * kc + ddy * ks, v = ddy * kc - ddx * ks;
            const long long ix = j.sx + j.cx + (u >> 12), iy = j.sy + j.cy + (v >> 12);
            if (ix < a.x0 || ix >= a.x1 || iy < a.y0 || iy >= a.y1) continue;
            d.at(x, t) = reference_sample(s, ix, iy, (u >> 4) & 255, (v >> 4) & 255,
                                          ix == a.x1 - 1 || iy == a.y1 - 1);
        }
}

inline void reference_affine(TestFrame& s, TestFrame& d, const AffineJob& j) {
    const int W = s.frame.max_w, H = s.frame.max_h;
    const double* m = j.m;
    const double det = m[0] * m[4] - m[1] * m[3];
    const ReadArea out = read_area(d.frame, j.x, j.y, std::min(j.w, W), std::min(j.h, H));
    for (int Y = out.y0; Y < out.y1; ++Y)
        for (int X = out.x0; X < out.x1; ++X) {
            const double xs = (m[4] * X - m[1] * Y + m[1] * m[5] - m[4] * m[2]) / det;
            const double ys = (-m[3] * X + m[0] * Y + m[3] * m[2] - m[0] * m[5]) / det;
            if (!(xs > -1 && xs < W && ys > -1 && ys < H)) continue;
            const long long ix = static_cast<long long>(xs), iy = static_cast<long long>(ys);
            d.at(X, Y) = reference_sample(s, ix, iy, static_cast<long long>(256 * xs) & 255,
                                          static_cast<long long>(256 * ys) & 255,
                                          ix == W - 1 || iy == H - 1);
        }
}

// True when every pixel of two equally sized frames agrees.
inline bool same_frames(const TestFrame& a, const TestFrame& b) {
    for (std::size_t k = 0; k < a.pixels.size(); ++k)
        if (!(a.pixels[k].y == b.pixels[k].y && a.pixels[k].cb == b.pixels[k].cb &&
              a.pixels[k].cr == b.pixels[k].cr))
            return false;
    return true;
}

// Mosaic computed pixel by pixel: each block's inside source pixels summed in
// 64 bits and divided once.
inline void mosaic_directly(TestFrame& src, TestFrame& dst, const MosaicRegion& r) {
    const int W = src.frame.max_w, H = src.frame.max_h;
    for (int by = 0; by * r.bh < r.h; ++by)
        for (int bx = 0; bx * r.bw < r.w; ++bx) {
            long long s[3] = {0, 0, 0}, n = 0;
            for (int i = by * r.bh; i < std::min(r.h, (by + 1) * r.bh); ++i)
                for (int j = bx * r.bw; j < std::min(r.w, (bx + 1) * r.bw); ++j) {
                    const long long x = r.sx + j, y = r.sy + i;
                    if (x < 0 || y < 0 || x >= W || y >= H) continue;
                    const PIXEL_YC& p = src.at(static_cast<int>(x), static_cast<int>(y));
                    s[0] += p.y, s[1] += p.cb, s[2] += p.cr, ++n;
                }
            if (n == 0) continue;
            for (int i = by * r.bh; i < std::min(r.h, (by + 1) * r.bh); ++i)
                for (int j = bx * r.bw; j < std::min(r.w, (bx + 1) * r.bw); ++j) {
                    const long long x = r.dx + j, y = r.dy + i;
                    if (x < 0 || y < 0 || x >= W || y >= H) continue;
                    dst.at(static_cast<int>(x), static_cast<int>(y)) = {
                        static_cast<std::int16_t>(s[0] / n), static_cast<std::int16_t>(s[1] / n),
                        static_cast<std::int16_t>(s[2] / n)};
                }
        }
}
