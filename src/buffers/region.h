// Regions of a buffer and their clipping.
//
// A region is x, y, w, h in pixels from the top-left corner.  Functions clip
// it against the buffer's storage (max_w x max_h), not the visible picture,
// so scripts may work outside the picture.  A region that lies wholly outside
// ends with w or h below 1, and the loops that follow run zero times.
#pragma once

#include <algorithm>

struct Region {
    int x = 0, y = 0, w = 0, h = 0;
    bool empty() const { return w < 1 || h < 1; }
};

// Clips one region against bounds W x H.  Arithmetic is done in 64 bits so
// that extreme script values cannot overflow; the result always fits.
inline void clip_region(int& x, int& y, int& w, int& h, int W, int H) {
    auto clip_axis = [](int& p, int& len, int bound) {
        const long long p0 = p;
        const long long p1 = std::max(p0, 0LL);
        long long l = static_cast<long long>(len) - (p1 - p0);
        l = std::min<long long>(bound, p1 + l) - p1;
        p = static_cast<int>(p1);
        len = static_cast<int>(std::max<long long>(l, -1));
    };
    clip_axis(x, w, W);
    clip_axis(y, h, H);
}

inline void clip_region(Region& r, int W, int H) { clip_region(r.x, r.y, r.w, r.h, W, H); }

// Clips N positions that share one size w x h, each against its own bounds.
// A shift that moves one position into its bounds moves every other position
// by the same amount, so pixel (x[0] + j, y[0] + i) keeps corresponding to
// (x[k] + j, y[k] + i).  Positions are handled in order: x then y of the
// first, x then y of the second, and so on.
template <int N>
inline void clip_positions(int (&x)[N], int (&y)[N], int& w, int& h, const int (&W)[N],
                           const int (&H)[N]) {
    auto step = [](int(&p)[N], int k, int& len, int bound) {
        const long long d = std::max<long long>(p[k], 0) - p[k];
        for (int m = 0; m < N; ++m) {
            const long long moved = p[m] + d;
            p[m] = static_cast<int>(std::min<long long>(moved, 0x7fffffff));
        }
        long long l = static_cast<long long>(len) - d;
        l = std::min<long long>(bound, static_cast<long long>(p[k]) + l) - p[k];
        len = static_cast<int>(std::max<long long>(l, -1));
    };
    for (int k = 0; k < N; ++k) {
        step(x, k, w, W[k]);
        step(y, k, h, H[k]);
    }
}

inline void clip_region_pair(int& x1, int& y1, int& x2, int& y2, int& w, int& h, int W1, int H1,
                             int W2, int H2) {
    int x[2] = {x1, x2}, y[2] = {y1, y2};
    const int Ws[2] = {W1, W2}, Hs[2] = {H1, H2};
    clip_positions<2>(x, y, w, h, Ws, Hs);
    x1 = x[0], x2 = x[1], y1 = y[0], y2 = y[1];
}

inline void clip_region_triple(int& x1, int& y1, int& x2, int& y2, int& x3, int& y3, int& w, int& h,
                               int W1, int H1, int W2, int H2, int W3, int H3) {
    int x[3] = {x1, x2, x3}, y[3] = {y1, y2, y3};
    const int Ws[3] = {W1, W2, W3}, Hs[3] = {H1, H2, H3};
    clip_positions<3>(x, y, w, h, Ws, Hs);
    x1 = x[0], x2 = x[1], x3 = x[2], y1 = y[0], y2 = y[1], y3 = y[2];
}
