// Convolution of an RGB work array with a two-dimensional kernel.
//
// Output element (x, y) weighs the input elements under the kernel placed
// with its anchor (cols / 2, rows / 2) on (x, y).  The border is cut
// (toolkit/border.h): only cells over the array take part: S is the sum of their weights and T, per
// component, the sum of weight x value, both accumulated in double in kernel order (rows top to
// bottom, each left to right).  The value is T / S, or T when S is 0 (a
// zero-sum kernel such as the Laplacian gives raw sums), truncated toward
// zero and stored as its low 16 bits.
//
// Where the whole kernel lies over the array, S is the same for every
// element, cells of weight 0 change no sum, and T of many elements is
// formed side by side in vector lanes (in 32-bit integers when the weights
// are integers small enough for every partial sum to be exact).  Only the
// bands along the array's edges test the kernel cell by cell.  Rows are
// independent and go to the pool's range call in blocks.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
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

// The kernel as the row bodies use it, made once per call and shared.
struct convolution_plan {
    std::size_t cols = 0, rows = 0;  // kernel size
    std::size_t ax = 0, ay = 0;      // anchor
    // Cells of non-zero weight, in kernel order, for the interior.
    std::vector<std::size_t> tap_col, tap_row;
    std::vector<double> weight;
    std::vector<std::int32_t> integral_weight;
    bool integral = false;
    double full_sum = 0;  // S of the whole kernel, in kernel order

    explicit convolution_plan(const grid<double>& kernel) {
        cols = kernel.width();
        rows = kernel.height();
        ax = cols / 2;
        ay = rows / 2;
        double magnitude = 0;
        bool whole = true;
        for (std::size_t a = 0; a < rows; ++a)
            for (std::size_t b = 0; b < cols; ++b) {
                const double v = kernel(b, a);
                full_sum += v;
                if (v == 0) continue;
                tap_col.push_back(b);
                tap_row.push_back(a);
                weight.push_back(v);
                whole = whole && std::isfinite(v) && v == std::trunc(v);
                magnitude += std::fabs(v);
            }
        integral =
            whole && magnitude <= static_cast<double>(::toolkit::row_kernels::kIntegralWeightLimit);
        if (integral)
            for (double v : weight) integral_weight.push_back(static_cast<std::int32_t>(v));
    }
};

// Output rows [y0, y1) of one convolution; `pointers` is scratch for one
// pointer per tap.
class convolution_rows {
public:
    const grid<rgb<short>>* input = nullptr;
    grid<rgb<short>>* output = nullptr;
    const grid<double>* kernel = nullptr;
    const convolution_plan* plan = nullptr;

    void run(std::size_t y_begin, std::size_t y_end, const short** pointers) const {
        const std::size_t W = input->width(), H = input->height();
        const convolution_plan& p = *plan;
        // The interior: where every cell of the kernel lies over the array.
        const bool fits = p.cols >= 1 && p.rows >= 1 && p.cols <= W && p.rows <= H;
        const std::size_t x0 = p.ax, x1 = fits ? W - (p.cols - 1 - p.ax) : 0;
        const std::size_t y0 = p.ay, y1 = fits ? H - (p.rows - 1 - p.ay) : 0;
        for (std::size_t y = y_begin; y < y_end; ++y) {
            rgb<short>* out = output->row(y);
            if (!fits || y < y0 || y >= y1 || p.weight.empty()) {
                for (std::size_t x = 0; x < W; ++x) out[x] = cell(x, y);
                continue;
            }
            for (std::size_t x = 0; x < x0; ++x) out[x] = cell(x, y);
            for (std::size_t x = x1; x < W; ++x) out[x] = cell(x, y);
            for (std::size_t t = 0; t < p.weight.size(); ++t)
                pointers[t] = &input->row(y + p.tap_row[t] - p.ay)[x0 + p.tap_col[t] - p.ax].r;
            short* first = &out[x0].r;
            const std::size_t n = 3 * (x1 - x0);
            if (p.integral)
                ::toolkit::row_kernels::convolve_integral(pointers, p.integral_weight.data(),
                                                          p.weight.size(), first, n,
                                                          static_cast<std::int32_t>(p.full_sum));
            else
                ::toolkit::row_kernels::convolve(pointers, p.weight.data(), p.weight.size(), first,
                                                 n, p.full_sum);
        }
    }

private:
    // One element with the kernel cut to the array (a cut border).
    rgb<short> cell(std::size_t x, std::size_t y) const {
        const long long W = static_cast<long long>(input->width());
        const long long H = static_cast<long long>(input->height());
        const long long ax = static_cast<long long>(plan->ax);
        const long long ay = static_cast<long long>(plan->ay);
        const line_span rows =
            on_line(static_cast<long long>(y) - ay, static_cast<long long>(plan->rows), H);
        const line_span cols =
            on_line(static_cast<long long>(x) - ax, static_cast<long long>(plan->cols), W);
        double S = 0, r = 0, g = 0, b = 0;
        for (long long a = rows.begin; a < rows.end; ++a) {
            const rgb<short>* row =
                input->row(static_cast<std::size_t>(static_cast<long long>(y) + a - ay));
            for (long long c = cols.begin; c < cols.end; ++c) {
                const double w =
                    (*kernel)(static_cast<std::size_t>(c), static_cast<std::size_t>(a));
                const rgb<short>& v = row[static_cast<long long>(x) + c - ax];
                S += w;
                r += w * v.r;
                g += w * v.g;
                b += w * v.b;
            }
        }
        if (S != 0) {
            r /= S;
            g /= S;
            b /= S;
        }
        return {truncate_to_short(r), truncate_to_short(g), truncate_to_short(b)};
    }
};

}  // namespace linear_filter

// Convolves `in` into `out` with `kernel` on `thread_count` jobs (0: one
// per processor).  False, doing nothing, when out is in or the input is
// empty.  A kernel without cells gives 0 everywhere.
inline bool convolve(const grid<rgb<short>>& in, grid<rgb<short>>& out, const grid<double>& kernel,
                     std::uint32_t thread_count) {
    if (!prepare_output(in, out)) return false;
    const linear_filter::convolution_plan plan(kernel);
    const linear_filter::convolution_rows rows{&in, &out, &kernel, &plan};
    const int H = static_cast<int>(in.height());
    const std::size_t taps = plan.weight.size();
    const pool::Split split{.jobs = filter_jobs(thread_count),
                            .cost = static_cast<double>(in.width()) *
                                    static_cast<double>(std::max<std::size_t>(taps, 1))};
    std::vector<const short*> pointers(taps * static_cast<std::size_t>(pool::slots(H, split)));
    pool::parallel_for(H, split, [&](const pool::Range& r) {
        rows.run(static_cast<std::size_t>(r.begin), static_cast<std::size_t>(r.end),
                 pointers.data() + taps * static_cast<std::size_t>(r.slot));
    });
    return true;
}

}  // namespace toolkit
