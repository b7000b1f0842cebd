// The morphology passes point by point, straight from their definition,
// and the planes and elements the tests put through them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "toolkit/grey_morphology.h"

struct Point {
    int x, y;
};

inline std::vector<Point> points_of(const toolkit::morphology_runs& e) {
    std::vector<Point> p;
    for (const toolkit::morphology_run& r : e.runs())
        for (int x = r.x0; x <= r.x1; ++x) p.push_back({x, r.dy});
    return p;
}

// out(x, y) = extreme of in(ox + x + dx, oy + y + dy), neutral off the plane.
inline std::vector<short> brute_pass(const std::vector<short>& in, int iw, int ih, long long ox,
                                     long long oy, int ow, int oh, const std::vector<Point>& pts,
                                     bool erode) {
    std::vector<short> out(static_cast<std::size_t>(ow) * oh);
    for (int y = 0; y < oh; ++y)
        for (int x = 0; x < ow; ++x) {
            int v = erode ? 32767 : -32768;
            for (const Point& p : pts) {
                const long long sx = ox + x + p.x, sy = oy + y + p.y;
                if (sx < 0 || sy < 0 || sx >= iw || sy >= ih) continue;
                const int c = in[static_cast<std::size_t>(sy) * iw + static_cast<std::size_t>(sx)];
                v = erode ? std::min(v, c) : std::max(v, c);
            }
            out[static_cast<std::size_t>(y) * ow + x] = static_cast<short>(v);
        }
    return out;
}

inline toolkit::morphology_runs random_table(std::mt19937& rng, int cols, int rows, int density) {
    toolkit::grid<int> cells(static_cast<std::size_t>(cols), static_cast<std::size_t>(rows));
    std::uniform_int_distribution<int> d(0, 99);
    for (int& c : cells) c = d(rng) < density;
    cells[static_cast<std::size_t>(rng() % cells.size())] = 1;
    return toolkit::table_runs(cells);
}

inline toolkit::morphology_runs rectangle(int cols, int rows) {
    toolkit::grid<int> cells(static_cast<std::size_t>(cols), static_cast<std::size_t>(rows));
    cells.fill(1);
    return toolkit::table_runs(cells);
}

inline std::vector<short> random_plane(std::mt19937& rng, int n) {
    std::vector<short> v(static_cast<std::size_t>(n));
    std::uniform_int_distribution<int> grey(-4000, 5000), pick(0, 9);
    for (short& c : v) {
        const int k = pick(rng);
        c = static_cast<short>(k == 0 ? 32767 : k == 1 ? -32768 : k < 5 ? 0 : grey(rng));
    }
    return v;
}
