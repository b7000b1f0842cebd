// fill, fill_line_r and ellipse: the worked pixel sets, the ellipse against
// a literal run of its drawing loop, huge radii, and the argument forms.
#include <climits>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "draw/ellipse.h"
#include "draw/fill.h"
#include "mask_script_fixture.h"
#include "mask_test_util.h"

namespace {

constexpr PIXEL_YC kInk{4096, 100, -100};

// The drawing loop step by step, with its error terms in 128 bits; calls
// span(lo, hi, row) for each span it paints.
template <class Span>
void ellipse_loop(long long cx, long long cy, long long rx, long long ry, Span span) {
    using W = __int128;
    const W P = 4 * (W)rx * rx, Q = 4 * (W)ry * ry;
    W A = 2 * (W)rx * rx, B = 0, G = (2 - 4 * (W)rx) * ry * ry, D = 4 * (W)rx * ry * ry;
    W e2 = (1 - 2 * (W)rx) * ry * ry + 2 * (W)rx * rx, e = (W)rx * rx + (2 - 4 * (W)rx) * ry * ry;
    long long x = rx, yd = cy, yu = cy;
    do {
        span(cx - x, cx + x, yd);
        span(cx - x, cx + x, yu);
        if (e2 < 0) {
            ++yd, --yu, A += P, B += P, e2 += A, e += B;
        } else {
            G += Q, D -= Q;
            if (e >= 0) {
                --x, e2 -= D, e += G;
            } else {
                A += P, --x, ++yd, --yu, B += P, e2 += A - D, e += G + B;
            }
        }
    } while (x >= 0);
}

// The pixels the loop paints on a w x h buffer.
std::set<std::pair<int, int>> loop_pixels(int w, int h, long long cx, long long cy, long long rx,
                                          long long ry) {
    std::set<std::pair<int, int>> painted;
    ellipse_loop(cx, cy, rx, ry, [&](long long lo, long long hi, long long r) {
        if (r < 0 || r >= h || lo >= w || hi < 0) return;
        for (long long x = std::max(lo, 0LL); x <= std::min<long long>(hi, w - 1); ++x)
            painted.insert({static_cast<int>(x), static_cast<int>(r)});
    });
    return painted;
}

bool same_pixel(const PIXEL_YC& a, const PIXEL_YC& b) {
    return a.y == b.y && a.cb == b.cb && a.cr == b.cr;
}

std::set<std::pair<int, int>> inked(TestFrame& f) {
    std::set<std::pair<int, int>> s;
    for (int y = 0; y < f.frame.max_h; ++y)
        for (int x = 0; x < f.frame.max_w; ++x)
            if (f.at(x, y).y == kInk.y) s.insert({x, y});
    return s;
}

std::set<std::pair<int, int>> drawn(int w, int h, int cx, int cy, int rx, int ry) {
    TestFrame f(w, h);
    fill_ellipse(f.frame, cx, cy, rx, ry, kInk);
    return inked(f);
}

// Rows of columns lo..hi from a list {row, lo, hi}.
std::set<std::pair<int, int>> rows_of(std::initializer_list<std::array<int, 3>> spans) {
    std::set<std::pair<int, int>> s;
    for (const auto& r : spans)
        for (int x = r[1]; x <= r[2]; ++x) s.insert({x, r[0]});
    return s;
}

}  // namespace

TEST(Ellipse, WorkedPixelSets) {
    EXPECT_EQ(drawn(24, 24, 10, 10, 1, 1), rows_of({{9, 10, 10}, {10, 9, 11}, {11, 10, 10}}));
    EXPECT_EQ(drawn(24, 24, 10, 10, 3, 3), rows_of({{7, 9, 11},
                                                    {13, 9, 11},
                                                    {8, 8, 12},
                                                    {12, 8, 12},
                                                    {9, 7, 13},
                                                    {10, 7, 13},
                                                    {11, 7, 13}}));
    EXPECT_EQ(drawn(24, 24, 10, 10, 5, 2),
              rows_of({{8, 7, 13}, {12, 7, 13}, {9, 6, 14}, {11, 6, 14}, {10, 5, 15}}));
}

TEST(Ellipse, MatchesTheLoopForSmallRadiiAnywhere) {
    for (int rx = 1; rx <= 40; rx += 3)
        for (int ry = 1; ry <= 40; ry += 4)
            for (auto c :
                 {std::pair{10, 12}, std::pair{-5, 3}, std::pair{35, 40}, std::pair{18, -20}})
                ASSERT_EQ(drawn(30, 26, c.first, c.second, rx, ry),
                          loop_pixels(30, 26, c.first, c.second, rx, ry))
                    << rx << " " << ry << " at " << c.first << "," << c.second;
}

TEST(Ellipse, SpanStartingAtTheRightEdgePaintsNothing) {
    // Centre 12 columns right of a 10-wide buffer with rx = 2: the widest span
    // starts at column 10 = max_w and must not touch column 9.
    EXPECT_TRUE(drawn(10, 10, 12, 5, 2, 2).empty());
    EXPECT_EQ(drawn(10, 10, 11, 5, 2, 2), rows_of({{4, 9, 9}, {5, 9, 9}, {6, 9, 9}}));
}

TEST(EllipseWidths, MatchesTheLoopDeepIntoLargeEllipses) {
    // Windows of rows far from the centre, reached by skipping ahead, against
    // the widths the loop enters each row with.
    std::mt19937_64 rng(3);
    const std::pair<long long, long long> radii[] = {{1000000, 1000000}, {1300000, 7}, {5, 1200000},
                                                     {987654, 123457},   {31, 900001}, {1, 1}};
    for (const auto& [a, b] : radii) {
        std::vector<long long> entry;
        ellipse_loop(0, 0, a, b, [&](long long lo, long long, long long r) {
            if (r >= static_cast<long long>(entry.size())) entry.push_back(-lo);
        });
        for (int q = 0; q < 12; ++q) {
            const long long k0 = static_cast<long long>(rng() % (entry.size() + 3));
            std::vector<long long> got;
            EllipseWidths widths(a, b);
            widths.each(k0, k0 + 40, [&](long long k, long long x) {
                EXPECT_EQ(k, k0 + static_cast<long long>(got.size()));
                got.push_back(x);
            });
            const long long reached = static_cast<long long>(entry.size());
            ASSERT_EQ(static_cast<long long>(got.size()), std::clamp(reached - k0, 0LL, 40LL));
            for (std::size_t n = 0; n < got.size(); ++n)
                ASSERT_EQ(got[n], entry[k0 + n]) << a << " " << b << " row " << k0 + n;
        }
    }
}

TEST(Ellipse, HugeRadiiCostFollowsTheBuffer) {
    // Walking the loop would take billions of steps.  A circle of radius 10^9
    // covers the buffer; an ellipse whose top edge crosses it paints a band.
    EXPECT_EQ(drawn(64, 48, 30, 20, 1000000000, 1000000000).size(), 64u * 48u);
    const auto band = drawn(64, 48, 30, 1000000000 + 20, INT_MAX, 1000000000);
    EXPECT_EQ(band.count({30, 19}), 0u);
    EXPECT_EQ(band.count({30, 20}), 1u);
    EXPECT_EQ(band.size(), 64u * 28u);
}

TEST(FillKernels, RectangleMaskAndColourLow16) {
    TestFrame f(101, 3, {1, 2, 3});
    fill_region(f.frame, {3, 1, 97, 1}, fill_colour(65536 + 7, -65536 - 2, 40000));
    for (int x = 0; x < 101; ++x) {
        const PIXEL_YC& p = f.at(x, 1);
        if (x >= 3 && x < 100)
            ASSERT_TRUE(p.y == 7 && p.cb == -2 && p.cr == 40000 - 65536) << x;
        else
            ASSERT_EQ(p.y, 1) << x;
    }
    EXPECT_EQ(f.at(5, 0).y, 1);
    TestFrame mask(4, 1), g(4, 1);
    for (int x = 1; x < 4; ++x) mask.set(x, 0, x == 3 ? 500 : 9 + x, 0, 0);  // 10, 11, 500
    fill_masked(g.frame, mask.frame, {1, 0, 0, 0, 3, 1}, kInk, 10);          // mask from column 1
    EXPECT_EQ(g.at(0, 0).y, 0);                                              // 10 is not above 10
    EXPECT_EQ(g.at(1, 0).y, kInk.y);
    EXPECT_EQ(g.at(2, 0).y, kInk.y);
    EXPECT_EQ(g.at(3, 0).y, 0);
}

TEST(FillKernels, LineSidesAndDirections) {
    auto filled = [](DirectedLine line, int w = 5, int h = 4) {
        TestFrame f(w, h);
        fill_line_right(f.frame, {0, 0, w, h}, line, kInk);
        return inked(f);
    };
    std::set<std::pair<int, int>> all, row0, col0;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            all.insert({x, y});
            if (y == 0) row0.insert({x, y});
            if (x == 0) col0.insert({x, y});
        }
    EXPECT_EQ(filled({0, 0, 10, 0}), all);
    EXPECT_EQ(filled({10, 0, 0, 0}), row0);
    EXPECT_EQ(filled({0, 0, 0, 10}), col0);
    EXPECT_EQ(filled({0, 10, 0, 0}), all);
    EXPECT_EQ(filled({3, 3, 3, 3}), all);
    // A diagonal: d = (j - 0) * 4 - 4 * (i - 0) <= 0 keeps j <= i.
    const auto diag = filled({0, 0, 4, 4});
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(diag.count({x, y}) == 1, x <= y) << x << "," << y;
    // A line near the top int limit running right with a slight fall: the
    // rectangle lies below it, on its right.  (x2 - x1)(i - y1) exceeds 64
    // bits from row 1 on.
    EXPECT_EQ(filled({INT_MIN, INT_MIN, INT_MAX, INT_MIN + 1}), all);
    EXPECT_EQ(filled({INT_MAX, INT_MIN + 1, INT_MIN, INT_MIN}).size(), 0u);
}

using ShapeScript = MaskScript;

TEST_F(ShapeScript, FormsThroughLua) {
    fpip.w = 10, fpip.h = 6;
    paint(3, 9, 9, 9);
    EXPECT_EQ(run("fill(3)"), "");
    EXPECT_TRUE(same_pixel(frame(3).at(9, 5), {0, 0, 0}));
    EXPECT_EQ(frame(3).at(10, 5).y, 9);  // outside the picture: untouched
    EXPECT_EQ(frame(3).at(0, 6).y, 9);
    EXPECT_EQ(run("fill(3, -10, 0, 12.9, 1, 4096.7, -5, 5)"), "");
    EXPECT_TRUE(same_pixel(frame(3).at(1, 0), {4096, -5, 5}));
    EXPECT_EQ(frame(3).at(2, 0).y, 0);
    frame(4).at(1, 0).y = 100;  // masked: region at (5, 5), mask read at (0, 0)
    EXPECT_EQ(run("fill(3, 4, 5, 5, 2, 1, 7, 7, 7, 0, 0, 99)"), "");
    EXPECT_EQ(frame(3).at(5, 5).y, 0);
    EXPECT_EQ(frame(3).at(6, 5).y, 7);
    // Clipped to start at column 0; the line is then column 0 of the buffer.
    EXPECT_EQ(run("fill_line_r(2, -10, 0, 20, 3, 0, 0, 0, 10, 50, 0, 0)"), "");
    EXPECT_EQ(frame(2).at(0, 2).y, 50);
    EXPECT_EQ(frame(2).at(1, 2).y, 0);
    EXPECT_EQ(run("ellipse(2, 10, 10, 1, 1, 77, 1, 2) ellipse(2, 10, 10, 0, 5, 9, 9, 9)"), "");
    EXPECT_TRUE(same_pixel(frame(2).at(10, 9), {77, 1, 2}));
    EXPECT_EQ(frame(2).at(9, 9).y, 0);
}

TEST_F(ShapeScript, ArgumentErrors) {
    for (const char* call :
         {"fill(2, 0, 0)", "fill(2,0,0,1,1,0,0,0,0)", "fill(2,3,0,0,1,1,0,0,0,0,0)",
          "fill_line_r(2,0,0,1,1,0,0,1,1,0,0)", "ellipse(2,1,1,1,1,0,0)"})
        EXPECT_TRUE(count_error(call)) << call;
    EXPECT_NE(run("fill(99)").find("バッファが存在しません[99]"), std::string::npos);
    EXPECT_NE(run("fill(98, 97, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0)").find("[98]"), std::string::npos);
    EXPECT_NE(run("fill(2, 97, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0)").find("[97]"), std::string::npos);
    EXPECT_NE(run("ellipse(99, 0, 0, 1, 1, 0, 0, 0)").find("[99]"), std::string::npos);
    // Empty regions and radii resolve nothing.
    EXPECT_EQ(
        run("fill(99, 0, 0, 0, 5, 4096, 0, 0) fill_line_r(99, 0, 0, 5, 0, 0, 0, 1, 1, 0, 0, 0)"
            " ellipse(99, 0, 0, 0, 5, 0, 0, 0)"),
        "");
    EXPECT_NE(run("fill(2, 'x', 0, 1, 1, 0, 0, 0)").find("number expected"), std::string::npos);
}
