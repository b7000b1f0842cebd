// Box mean of an RGB array.
//
// Output (x, y) is, per component, the sum of the input values in the box
// of columns x - kw/2 .. x - kw/2 + kw - 1 and rows y - kh/2 .. y - kh/2 +
// kh - 1, cut to the array (a cut border, toolkit/border.h), divided by
// the number of pixels the cut box covers, truncated toward zero.  The sums are exact integers, so
// they are kept in integers; the quotient is formed in double as the definition has it.
//
// Each range of rows keeps, for every column, the sum of the rows its box
// covers: moving down one row adds the entering row and subtracts the
// leaving one, and a range that continues its slot's previous one goes on
// with the sums it left.  Along a row, narrow boxes add their column
// sums directly, vectorised across the row; wide ones take differences of
// running sums, so no box costs more per pixel than a few operations.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/thread_pool.h"
#include "toolkit/border.h"
#include "toolkit/filter_call.h"
#include "toolkit/filter_rows.h"
#include "toolkit/grid.h"
#include "toolkit/rgb.h"
#include "toolkit/truncate.h"

namespace toolkit {

namespace linear_filter {

// The rows (or columns) [a, b) that the box of size k around position p
// covers along an axis of L elements: the box is cut at the ends (a cut
// border, toolkit/border.h).
inline std::pair<std::size_t, std::size_t> box_cover(std::size_t p, std::size_t k, std::size_t L) {
    const long long first = static_cast<long long>(p) - static_cast<long long>(k / 2);
    const line_span kept = on_line(first, static_cast<long long>(k), static_cast<long long>(L));
    return {static_cast<std::size_t>(first + kept.begin),
            static_cast<std::size_t>(first + kept.end)};
}

// Box means of one row, columns [xa, xb) of W: out[3 x + c] = the sum of
// the column sums (3 components interleaved, each the sum of
// `rows_covered` rows) of the columns the box of x covers, divided by their
// pixel count, truncated.  Narrow boxes add their column sums directly,
// vectorised across the row; wide ones take differences of running sums
// (`running`: 3 W + 3 scratch).
inline void box_mean_row(const std::int32_t* column_sums, std::size_t W, std::size_t kw,
                         std::size_t rows_covered, short* out, std::size_t xa, std::size_t xb,
                         std::int64_t* running) {
    const std::size_t left = kw / 2;
    const std::size_t cols_covered = std::min(kw, W);
    auto edge = [&](std::size_t x) {
        const auto [a, b] = box_cover(x, kw, W);
        const double count = static_cast<double>((b - a) * rows_covered);
        for (std::size_t c = 0; c < 3; ++c) {
            std::int64_t s = 0;
            for (std::size_t k = a; k < b; ++k) s += column_sums[3 * k + c];
            out[3 * x + c] = truncate_to_short(static_cast<double>(s) / count);
        }
    };
    if (kw <= 8 && cols_covered * rows_covered <= 65535) {
        // Interior columns [x0, x1): the whole box width lies over the array.
        std::size_t x0 = left, x1 = W >= kw ? W - kw + left + 1 : 0;
        x0 = std::max(x0, xa);
        x1 = std::min(x1, xb);
        if (x1 <= x0) x0 = x1 = xb;
        if (x1 > x0)
            ::toolkit::row_kernels::box_mean(column_sums + 3 * (x0 - left), kw, out + 3 * x0,
                                             3 * (x1 - x0), static_cast<double>(kw * rows_covered));
        for (std::size_t x = xa; x < x0; ++x) edge(x);
        for (std::size_t x = x1; x < xb; ++x) edge(x);
        return;
    }
    running[0] = running[1] = running[2] = 0;
    for (std::size_t j = 0; j < 3 * W; ++j) running[j + 3] = running[j] + column_sums[j];
    for (std::size_t x = xa; x < xb; ++x) {
        const auto [a, b] = box_cover(x, kw, W);
        const double count = static_cast<double>((b - a) * rows_covered);
        for (std::size_t c = 0; c < 3; ++c)
            out[3 * x + c] = truncate_to_short(
                static_cast<double>(running[3 * b + c] - running[3 * a + c]) / count);
    }
}

// The column sums of one slot and the rows [ya, yb) they hold.
struct box_sums {
    std::int32_t* column_sums = nullptr;  // 3 x width of the input
    std::int64_t* running = nullptr;      // 3 x (width of the input + 1)
    std::size_t ya = 0, yb = 0;
};

// Output rows of one box mean.
class box_mean_rows {
public:
    const grid<rgb<short>>* input = nullptr;
    grid<rgb<short>>* output = nullptr;
    std::size_t width = 1, height = 1;  // the box

    // Rows [y0, y1); `continues`: the sums hold what the rows before y0
    // left in them.
    void run(std::size_t y0, std::size_t y1, box_sums& s, bool continues) const {
        const std::size_t H = input->height();
        // Column sums of at most 65535 rows of 16-bit values fit in 32 bits.
        if (std::min(height, H) > 65535) {
            for (std::size_t y = y0; y < y1; ++y) slow_row(y);
            return;
        }
        const std::size_t W = input->width(), n = 3 * W;
        if (!continues) {
            s.ya = s.yb = 0;
            std::fill(s.column_sums, s.column_sums + n, 0);
        }
        for (std::size_t y = y0; y < y1; ++y) {
            const auto [a, b] = box_cover(y, height, H);
            if (a >= s.yb || b <= s.ya) {  // no overlap (first row of a range)
                std::fill(s.column_sums, s.column_sums + n, 0);
                for (std::size_t k = a; k < b; ++k)
                    row_kernels::add_row(s.column_sums, &input->row(k)->r, n);
            } else {
                for (std::size_t k = s.ya; k < a; ++k)
                    ::toolkit::row_kernels::subtract_row(s.column_sums, &input->row(k)->r, n);
                for (std::size_t k = s.yb; k < b; ++k)
                    ::toolkit::row_kernels::add_row(s.column_sums, &input->row(k)->r, n);
            }
            s.ya = a;
            s.yb = b;
            box_mean_row(s.column_sums, W, width, b - a, &output->row(y)->r, 0, W, s.running);
        }
    }

private:
    // Any box, summed pixel by pixel in 64 bits (for arrays too tall for
    // 32-bit column sums).
    void slow_row(std::size_t y) const {
        const std::size_t W = input->width(), H = input->height();
        const auto [ya, yb] = box_cover(y, height, H);
        rgb<short>* out = output->row(y);
        for (std::size_t x = 0; x < W; ++x) {
            const auto [xa, xb] = box_cover(x, width, W);
            std::int64_t r = 0, g = 0, b = 0;
            for (std::size_t k = ya; k < yb; ++k)
                for (std::size_t j = xa; j < xb; ++j) {
                    const rgb<short>& v = input->row(k)[j];
                    r += v.r;
                    g += v.g;
                    b += v.b;
                }
            const double count = static_cast<double>((xb - xa) * (yb - ya));
            out[x] = {truncate_to_short(static_cast<double>(r) / count),
                      truncate_to_short(static_cast<double>(g) / count),
                      truncate_to_short(static_cast<double>(b) / count)};
        }
    }
};

}  // namespace linear_filter

// The box mean of `in` with a kw x kh box into `out` on `thread_count` jobs
// (0: one per processor).  False, doing nothing, when out is in, the input
// is empty or the box is empty.
inline bool box_mean(const grid<rgb<short>>& in, grid<rgb<short>>& out, std::size_t kw,
                     std::size_t kh, std::uint32_t thread_count) {
    if (kw == 0 || kh == 0) return false;
    if (!prepare_output(in, out)) return false;
    const linear_filter::box_mean_rows rows{&in, &out, kw, kh};
    const int H = static_cast<int>(in.height());
    const bool slow = std::min(kh, in.height()) > 65535;
    const pool::Split split{.jobs = filter_jobs(thread_count),
                            .cost = static_cast<double>(in.width()) *
                                    (slow ? static_cast<double>(std::min(kw, in.width())) *
                                                static_cast<double>(std::min(kh, in.height()))
                                          : 8.0)};
    const std::size_t slots = static_cast<std::size_t>(pool::slots(H, split));
    const std::size_t line = 3 * in.width();
    std::vector<std::int32_t> sums(line * slots);
    std::vector<std::int64_t> running((line + 3) * slots);
    std::vector<linear_filter::box_sums> state(slots);
    for (std::size_t k = 0; k < slots; ++k)
        state[k] = {sums.data() + line * k, running.data() + (line + 3) * k};
    pool::parallel_for(H, split, [&](const pool::Range& r) {
        rows.run(static_cast<std::size_t>(r.begin), static_cast<std::size_t>(r.end),
                 state[static_cast<std::size_t>(r.slot)], r.continues);
    });
    return true;
}

}  // namespace toolkit
