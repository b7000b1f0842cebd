// The strip labelling against one plain raster scan with an equivalence
// table and a capped counter, cell for cell and measure for measure, for
// every strip count.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "toolkit/labeling_strips.h"

namespace {

bool foreground(short v, toolkit::foreground_cells rule) {
    switch (rule) {
        case toolkit::foreground_cells::positive:
            return v > 0;
        case toolkit::foreground_cells::nonzero:
            return v != 0;
        default:
            return v == 0;
    }
}

// One raster scan: a cell takes the smallest class among its earlier
// neighbours, classes met together are merged into the smallest, a cell
// with none starts a new provisional label (the counter stopping at cap);
// classes are numbered in increasing order.
std::vector<int> raster_scan(const std::vector<short>& cells, int w, int h,
                             toolkit::foreground_cells rule, bool eight, std::uint32_t cap,
                             int* count) {
    std::vector<int> label(cells.size(), 0);
    std::vector<std::uint32_t> table{0};
    std::uint32_t counter = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!foreground(cells[static_cast<std::size_t>(y * w + x)], rule)) continue;
            std::vector<std::uint32_t> c;
            auto see = [&](int xx, int yy) {
                if (xx >= 0 && xx < w && yy >= 0) {
                    const int l = label[static_cast<std::size_t>(yy * w + xx)];
                    if (l != 0) c.push_back(table[static_cast<std::size_t>(l)]);
                }
            };
            see(x - 1, y);
            see(x, y - 1);
            if (eight) {
                see(x - 1, y - 1);
                see(x + 1, y - 1);
            }
            int& cell = label[static_cast<std::size_t>(y * w + x)];
            if (c.empty()) {
                if (counter < cap) table.push_back(++counter);
                cell = static_cast<int>(counter);
                continue;
            }
            const std::uint32_t m = *std::min_element(c.begin(), c.end());
            cell = static_cast<int>(m);
            for (std::uint32_t q : c)
                if (q != m)
                    for (std::uint32_t& e : table)
                        if (e == q) e = m;
        }
    std::vector<int> number(table.size(), 0);
    int n = 0;
    for (std::size_t e = 1; e < table.size(); ++e) number[table[e]] = 1;
    for (std::size_t k = 1; k < table.size(); ++k)
        if (number[k] != 0) number[k] = ++n;
    for (int& cell : label) cell = number[table[static_cast<std::size_t>(cell)]];
    *count = n;
    return label;
}

std::vector<short> random_cells(std::mt19937& rng, int w, int h, int density) {
    std::vector<short> cells(static_cast<std::size_t>(w * h));
    for (short& v : cells) {
        const int r = static_cast<int>(rng() % 100);
        v = r < density ? static_cast<short>(1 + rng() % 4000)
                        : (r % 3 == 0 ? short{-5} : short{0});
    }
    return cells;
}

void expect_same(const std::vector<short>& cells, int w, int h, toolkit::foreground_cells rule,
                 bool eight, std::uint32_t cap, const char* what) {
    int want_n = 0;
    const std::vector<int> want = raster_scan(cells, w, h, rule, eight, cap, &want_n);
    for (std::uint32_t threads : {1u, 2u, 3u, 5u}) {
        toolkit::strip_labeling labels;
        const std::size_t n =
            labels.run(cells.data(), w, static_cast<std::size_t>(w), static_cast<std::size_t>(h),
                       rule, eight, cap, true, threads);
        ASSERT_EQ(n, static_cast<std::size_t>(want_n)) << what << " threads " << threads;
        std::vector<int> got(cells.size());
        std::vector<toolkit::component_measure> measured(n + 1, {0, w, -1, h, -1});
        for (int y = 0; y < h; ++y)
            labels.write_row(static_cast<std::size_t>(y), got.data() + y * w);
        ASSERT_EQ(got, want) << what << " threads " << threads;
        for (int i = 0; i < w * h; ++i) {
            toolkit::component_measure& m =
                measured[static_cast<std::size_t>(want[static_cast<std::size_t>(i)])];
            ++m.area;
            m.min_x = std::min(m.min_x, i % w);
            m.max_x = std::max(m.max_x, i % w);
            m.min_y = std::min(m.min_y, i / w);
            m.max_y = std::max(m.max_y, i / w);
        }
        for (std::size_t k = 1; k <= n; ++k) {
            const toolkit::component_measure& a = labels.measure(k);
            const toolkit::component_measure& b = measured[k];
            ASSERT_TRUE(a.area == b.area && a.min_x == b.min_x && a.max_x == b.max_x &&
                        a.min_y == b.min_y && a.max_y == b.max_y)
                << what << " threads " << threads << " component " << k;
        }
    }
}

TEST(StripLabeling, EveryStripCountGivesTheRasterScansNumbersAndMeasures) {
    std::mt19937 rng(2024);
    for (int trial = 0; trial < 16; ++trial) {
        const int w = 1 + static_cast<int>(rng() % 41), h = 1 + static_cast<int>(rng() % 37);
        const std::vector<short> cells = random_cells(rng, w, h, 20 + static_cast<int>(rng() % 60));
        for (auto rule : {toolkit::foreground_cells::positive, toolkit::foreground_cells::nonzero,
                          toolkit::foreground_cells::zero})
            for (bool eight : {false, true})
                expect_same(cells, w, h, rule, eight, 2147483647u, "random");
    }
}

TEST(StripLabeling, ShapesThatOnlyJoinAcrossStripBorders) {
    // Columns joined only by the last row, a checkerboard and U shapes whose arms
    // meet only at the bottom: the joins come late and across strips.
    const int w = 24, h = 32;
    std::vector<short> comb(static_cast<std::size_t>(w * h), 0), diagonal = comb, cups = comb;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            comb[static_cast<std::size_t>(y * w + x)] = (x % 2 == 0 || y == h - 1) ? 1 : 0;
            diagonal[static_cast<std::size_t>(y * w + x)] = (x + y) % 2 == 0 ? 1 : 0;
            cups[static_cast<std::size_t>(y * w + x)] =
                (x % 6 == 0 || x % 6 == 4 || (y == h / 2 && x % 6 < 5)) ? 1 : 0;
        }
    for (bool eight : {false, true}) {
        expect_same(comb, w, h, toolkit::foreground_cells::nonzero, eight, 2147483647u, "comb");
        expect_same(diagonal, w, h, toolkit::foreground_cells::nonzero, eight, 2147483647u,
                    "diagonal");
        expect_same(cups, w, h, toolkit::foreground_cells::nonzero, eight, 2147483647u, "cups");
    }
}

TEST(StripLabeling, ACappedCounterJoinsTheComponentsOfTheLaterSeeds) {
    // With a cap of a few labels, every seed from the cap-th on shares one
    // provisional label: their components, and those they touch, are one.
    std::mt19937 rng(77);
    for (int trial = 0; trial < 12; ++trial) {
        const int w = 8 + static_cast<int>(rng() % 30), h = 8 + static_cast<int>(rng() % 30);
        const std::vector<short> cells = random_cells(rng, w, h, 25 + static_cast<int>(rng() % 40));
        for (std::uint32_t cap : {1u, 2u, 7u, 20u})
            for (bool eight : {false, true})
                expect_same(cells, w, h, toolkit::foreground_cells::positive, eight, cap, "cap");
    }
}

TEST(StripLabeling, EmptyAndOneCellPlanes) {
    toolkit::strip_labeling labels;
    EXPECT_EQ(
        labels.run(nullptr, 0, 0, 0, toolkit::foreground_cells::positive, true, 32767, true, 2),
        0u);
    const short one = 3;
    EXPECT_EQ(labels.run(&one, 1, 1, 1, toolkit::foreground_cells::positive, true, 32767, true, 2),
              1u);
    EXPECT_EQ(labels.measure(1).area, 1);
    EXPECT_EQ(labels.run(&one, 1, 1, 1, toolkit::foreground_cells::zero, false, 32767, true, 2),
              0u);
}

}  // namespace
