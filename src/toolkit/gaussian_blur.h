// Separable Gaussian blur of a float RGB array, in place.
//
// A one-dimensional kernel of 2r + 1 taps, r = ceil(2 sigma / pitch),
// weights exp(-(i^2 pitch^2 / (2 sigma^2))) divided by their sum (summed in
// index order), runs along the rows and then along the columns.  The border
// is cut (toolkit/border.h): for one line position p the taps p + k,
// k = -r..r, that fall outside the line are left out: T = sum of weight x
// value over the rest, in double in tap order; where none was left out the
// result is T, otherwise T divided by the sum of the remaining weights
// (when that is not 0).  Results are rounded to
// float after each pass.
//
// Lines are independent, so the row pass shares out its rows and the column
// pass blocks of its columns through the pool's range call.  What a pass
// still has to read is copied before it is written (a row into a scratch
// line; the rows a column kernel spans into a ring), and the taps of many
// elements are summed side by side in vector lanes.
//
// A kernel never reaches further than the longest line, however large
// sigma is: only the taps a line can use are kept (the sum that normalises
// them still runs over all 2r + 1), so memory is bounded by the array.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/thread_pool.h"
#include "toolkit/border.h"
#include "toolkit/filter_call.h"
#include "toolkit/filter_rows.h"
#include "toolkit/grid.h"
#include "toolkit/rgb.h"

namespace toolkit {

// The largest sigma the filter uses; a larger one acts as this.  Its kernel
// already reaches 131072 pixels, far beyond any frame, and the cost of
// normalising a kernel (one exponential per tap) grows with its length.
constexpr double kMaxGaussianSigma = 65536.0;

// A normalised kernel of radius r, of which the taps -reach..reach are kept
// (reach = min(r, the reach limit)); weights[reach + k] is tap k.
struct gaussian_kernel {
    std::vector<double> weights;
    std::size_t radius = 0;
    std::size_t reach = 0;

    double at(std::ptrdiff_t k) const {
        return weights[static_cast<std::size_t>(k + static_cast<std::ptrdiff_t>(reach))];
    }
};

// sigma 0 means 1; sigma must be finite and not negative (callers check),
// and is limited to kMaxGaussianSigma.  `pitch` is the array's pixel pitch
// along the kernel.
inline gaussian_kernel make_gaussian_kernel(double sigma, double pitch, std::size_t reach_limit) {
    if (sigma == 0) sigma = 1;
    sigma = std::min(sigma, kMaxGaussianSigma);
    const double r_real = std::ceil((sigma + sigma) / pitch);
    // A pitch far below 1 could still ask for an absurd radius.
    const std::size_t r =
        r_real > 4.0e15 ? static_cast<std::size_t>(4.0e15) : static_cast<std::size_t>(r_real);
    const double scale = 1.0 / (2.0 * sigma * sigma);
    const double pitch2 = pitch * pitch;
    auto weight = [&](std::size_t i) {
        const double d = static_cast<double>(i);
        return std::exp(-(d * d * pitch2 * scale));
    };
    gaussian_kernel k;
    k.radius = r;
    k.reach = std::min(r, reach_limit);
    k.weights.resize(2 * k.reach + 1);
    double sum = 0;
    for (std::size_t i = r; i > 0; --i) sum += weight(i);   // taps -r..-1
    for (std::size_t i = 0; i <= r; ++i) sum += weight(i);  // taps 0..r
    for (std::size_t i = 0; i <= k.reach; ++i) {
        const double w = weight(i) / sum;
        k.weights[k.reach + i] = w;
        k.weights[k.reach - i] = w;
    }
    return k;
}

namespace linear_filter {

// The column pass runs down blocks of columns (whole vector blocks of 16
// components), keeping the rows its kernel still needs, widened to double,
// in a ring: rows above the current one have already been written.
constexpr std::size_t kGaussianColumnGroup = 16;

inline std::size_t gaussian_ring_rows(std::size_t radius, std::size_t H) {
    return std::min(2 * radius + 1, H);
}

// The two passes over an image filtered in place.
class separable_gaussian_pass {
public:
    grid<rgb<float>>* image = nullptr;
    const gaussian_kernel* kernel_x = nullptr;
    const gaussian_kernel* kernel_y = nullptr;

    // Rows [y0, y1); `line` holds a row (3 W doubles), `pointers` a tap
    // each.
    void rows(std::size_t y0, std::size_t y1, double* line, const double** pointers) const {
        const gaussian_kernel& k = *kernel_x;
        const std::size_t W = image->width();
        const std::size_t r = k.radius;
        const bool has_interior = W > 2 * r;  // so r <= reach
        const std::size_t p0 = has_interior ? r : W, p1 = has_interior ? W - r : W;
        for (std::size_t y = y0; y < y1; ++y) {
            float* out = &image->row(y)->r;
            ::toolkit::row_kernels::widen(out, line, 3 * W);
            if (has_interior) {
                for (std::size_t t = 0; t <= 2 * r; ++t) pointers[t] = line + 3 * (p0 + t - r);
                ::toolkit::row_kernels::weighted_sum(pointers, &k.weights[k.reach - r], 2 * r + 1,
                                                     out + 3 * p0, 3 * (p1 - p0), false, 0);
            }
            for (std::size_t p = 0; p < p0; ++p) edge(line, out, W, p);
            for (std::size_t p = p1; p < W; ++p) edge(line, out, W, p);
        }
    }

    // Components [c0, c1) of every row, top to bottom; `ring` holds
    // gaussian_ring_rows rows of c1 - c0 doubles, `pointers` a tap each.
    void columns(std::size_t c0, std::size_t c1, double* ring, const double** pointers) const {
        if (c0 >= c1) return;
        const gaussian_kernel& k = *kernel_y;
        const std::size_t H = image->height();
        const std::size_t m = c1 - c0;
        const std::ptrdiff_t r = static_cast<std::ptrdiff_t>(k.radius);
        const std::size_t ring_rows = gaussian_ring_rows(k.radius, H);
        auto ring_row = [&](std::size_t row) { return ring + (row % ring_rows) * m; };
        std::size_t loaded = 0;  // rows [.., loaded) have been widened into the ring
        for (std::size_t y = 0; y < H; ++y) {
            const std::ptrdiff_t Y = static_cast<std::ptrdiff_t>(y);
            // The taps -r..r that the column's ends leave (a cut border).
            const line_span kept = on_line(Y - r, 2 * r + 1, static_cast<long long>(H));
            const std::ptrdiff_t lo = -r + kept.begin, hi = -r + kept.end - 1;
            for (; loaded <= y + static_cast<std::size_t>(hi); ++loaded)
                ::toolkit::row_kernels::widen(&image->row(loaded)->r + c0, ring_row(loaded), m);
            double S = 0;
            std::size_t taps = 0;
            for (std::ptrdiff_t t = lo; t <= hi; ++t) {
                S += k.at(t);
                pointers[taps++] = ring_row(static_cast<std::size_t>(Y + t));
            }
            ::toolkit::row_kernels::weighted_sum(
                pointers,
                &k.weights[static_cast<std::size_t>(lo + static_cast<std::ptrdiff_t>(k.reach))],
                taps, &image->row(y)->r + c0, m, kept.cut(2 * r + 1) && S != 0, S);
        }
    }

private:
    // Position p of a line of L pixels whose kernel is cut by the line's ends.
    void edge(const double* in, float* out, std::size_t L, std::size_t p) const {
        const gaussian_kernel& k = *kernel_x;
        const std::ptrdiff_t r = static_cast<std::ptrdiff_t>(k.radius);
        const std::ptrdiff_t P = static_cast<std::ptrdiff_t>(p);
        // The taps -r..r that the line's ends leave (a cut border).
        const line_span kept = on_line(P - r, 2 * r + 1, static_cast<long long>(L));
        const std::ptrdiff_t lo = -r + kept.begin, hi = -r + kept.end - 1;
        double S = 0, a = 0, b = 0, c = 0;
        for (std::ptrdiff_t t = lo; t <= hi; ++t) {
            const double w = k.at(t);
            const double* v = in + 3 * (P + t);
            S += w;
            a += w * v[0];
            b += w * v[1];
            c += w * v[2];
        }
        if (kept.cut(2 * r + 1) && S != 0) {
            a /= S;
            b /= S;
            c /= S;
        }
        out[3 * p] = static_cast<float>(a);
        out[3 * p + 1] = static_cast<float>(b);
        out[3 * p + 2] = static_cast<float>(c);
    }
};

}  // namespace linear_filter

// Blurs `image` in place with a Gaussian of `sigma` pixels (scaled by the
// pitches) on `thread_count` jobs (0: one per processor): blocks of rows
// for the row pass, then blocks of columns for the column pass.  False,
// doing nothing, for an empty image or a sigma that is negative or not
// finite.
inline bool gaussian_blur(grid<rgb<float>>& image, double sigma, std::uint32_t thread_count) {
    using linear_filter::kGaussianColumnGroup;
    if (image.empty() || !(sigma >= 0) || !std::isfinite(sigma)) return false;
    const std::size_t W = image.width(), H = image.height();
    const gaussian_kernel kx = make_gaussian_kernel(sigma, image.pitch_x, W - 1);
    const gaussian_kernel ky = make_gaussian_kernel(sigma, image.pitch_y, H - 1);
    const linear_filter::separable_gaussian_pass pass{&image, &kx, &ky};
    const int jobs = filter_jobs(thread_count);

    const std::size_t row_taps = 2 * kx.reach + 1;
    const pool::Split by_rows{.jobs = jobs, .cost = static_cast<double>(W * row_taps) / 2};
    const std::size_t row_slots =
        static_cast<std::size_t>(pool::slots(static_cast<int>(H), by_rows));
    std::vector<double> lines(3 * W * row_slots);
    std::vector<const double*> row_pointers(row_taps * row_slots);
    const bool rows_done =
        pool::parallel_for(static_cast<int>(H), by_rows, [&](const pool::Range& r) {
            const std::size_t slot = static_cast<std::size_t>(r.slot);
            pass.rows(static_cast<std::size_t>(r.begin), static_cast<std::size_t>(r.end),
                      lines.data() + 3 * W * slot, row_pointers.data() + row_taps * slot);
        });
    if (!rows_done) return true;  // out of time: the result is not wanted

    // Items of the column pass: groups of 16 components across a row.
    const std::size_t n = 3 * W;
    const int groups = static_cast<int>((n + kGaussianColumnGroup - 1) / kGaussianColumnGroup);
    const std::size_t column_taps = 2 * ky.reach + 1;
    // One band of columns a job, as long as the taps are few: every row of
    // a band is read in one piece.
    const pool::Split by_columns{
        .jobs = jobs,
        .grain = std::max(1, groups / jobs),
        .cost = static_cast<double>(H * kGaussianColumnGroup * column_taps) / 8};
    const std::size_t column_slots = static_cast<std::size_t>(pool::slots(groups, by_columns));
    const std::size_t widest =
        kGaussianColumnGroup * static_cast<std::size_t>(pool::largest_range(groups, by_columns));
    const std::size_t ring = linear_filter::gaussian_ring_rows(ky.radius, H) * widest;
    std::vector<double> rings(ring * column_slots);
    std::vector<const double*> column_pointers(column_taps * column_slots);
    pool::parallel_for(groups, by_columns, [&](const pool::Range& r) {
        const std::size_t slot = static_cast<std::size_t>(r.slot);
        pass.columns(std::min(n, kGaussianColumnGroup * static_cast<std::size_t>(r.begin)),
                     std::min(n, kGaussianColumnGroup * static_cast<std::size_t>(r.end)),
                     rings.data() + ring * slot, column_pointers.data() + column_taps * slot);
    });
    return true;
}

}  // namespace toolkit
