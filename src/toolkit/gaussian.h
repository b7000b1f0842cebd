// Separable Gaussian blur of a float RGB array, in place.
//
// A one-dimensional kernel of 2r + 1 taps, r = ceil(2 sigma / pitch),
// weights exp(-(i^2 pitch^2 / (2 sigma^2))) divided by their sum (summed in
// index order), runs along the rows and then along the columns.  For one
// line position p the taps p + k, k = -r..r, that fall outside the line are
// left out: T = sum of weight x value over the rest, in double in tap order;
// where none was left out the result is T, otherwise T divided by the sum
// of the remaining weights (when that is not 0).  Results are rounded to
// float after each pass.
//
// Lines are independent, so the row pass spreads its rows and the column
// pass bands of its columns over the workers.  What a pass still has to
// read is copied before it is written (a row into a scratch line; the rows
// a column kernel spans into a ring), and the taps of many elements are
// summed side by side in vector lanes.
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

#include "toolkit/array.h"
#include "toolkit/controller.h"
#include "toolkit/filter_rows.h"
#include "toolkit/rgb.h"
#include "toolkit/thread.h"

namespace mist {

// The largest sigma the filter uses; a larger one acts as this.  Its kernel
// already reaches 131072 pixels, far beyond any frame, and the cost of
// normalising a kernel (one exponential per tap) grows with its length.
constexpr double kMaxGaussianSigma = 65536.0;

// A normalised kernel of radius r, of which the taps -reach..reach are kept
// (reach = min(r, the reach limit)); weights[reach + k] is tap k.
struct gaussian_kernel {
    array1<double> weights;
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

// Which pass a worker runs.
enum class gaussian_pass { rows, columns };

// The column pass gives each worker a band of columns (whole vector
// blocks) and runs down it row by row, keeping the rows its kernel still
// needs, widened to double, in a ring: rows above the current one have
// already been written.
inline std::size_t gaussian_ring_rows(std::size_t radius, std::size_t H) {
    return std::min(2 * radius + 1, H);
}

inline row_range gaussian_column_band(std::size_t n, std::uint32_t index, std::uint32_t count) {
    const std::size_t blocks = (n + 15) / 16;
    const row_range b = row_band(blocks, index, count);
    return {std::min(n, 16 * b.begin), std::min(n, 16 * b.end)};
}

class _1D_linear_thread : public thread<_1D_linear_thread> {
public:
    array2<rgb<float>>* input = nullptr;   // the image (filtered in place)
    array2<rgb<float>>* output = nullptr;  // the same array
    const gaussian_kernel* kernel_x = nullptr;
    const gaussian_kernel* kernel_y = nullptr;
    const gaussian_kernel* kernel_z = nullptr;  // a depth kernel: not used on 2-D arrays
    gaussian_pass pass = gaussian_pass::rows;
    const double** pointers = nullptr;  // scratch: one per tap
    double* line = nullptr;             // scratch: a row, or the ring of a column band

protected:
    std::uint32_t thread_function() override {
        if (pass == gaussian_pass::rows)
            row_pass();
        else
            column_pass();
        return 1;
    }

private:
    void row_pass() {
        const gaussian_kernel& k = *kernel_x;
        const std::size_t W = output->width(), H = output->height();
        const std::size_t r = k.radius;
        const bool has_interior = W > 2 * r;  // so r <= reach
        const std::size_t p0 = has_interior ? r : W, p1 = has_interior ? W - r : W;
        for (std::size_t y = thread_index; y < H; y += thread_count) {
            float* out = &output->row(y)->r;
            ::mist::rows::widen(out, line, 3 * W);
            if (has_interior) {
                for (std::size_t t = 0; t <= 2 * r; ++t) pointers[t] = line + 3 * (p0 + t - r);
                ::mist::rows::weighted_sum(pointers, &k.weights[k.reach - r], 2 * r + 1,
                                           out + 3 * p0, 3 * (p1 - p0), false, 0);
            }
            for (std::size_t p = 0; p < p0; ++p) edge(line, out, W, p);
            for (std::size_t p = p1; p < W; ++p) edge(line, out, W, p);
        }
    }

    // Position p of a line of L pixels whose kernel is cut by the line's ends.
    void edge(const double* in, float* out, std::size_t L, std::size_t p) const {
        const gaussian_kernel& k = *kernel_x;
        const std::ptrdiff_t r = static_cast<std::ptrdiff_t>(k.radius);
        const std::ptrdiff_t P = static_cast<std::ptrdiff_t>(p);
        const std::ptrdiff_t lo = std::max(-r, -P);
        const std::ptrdiff_t hi = std::min(r, static_cast<std::ptrdiff_t>(L) - 1 - P);
        double S = 0, a = 0, b = 0, c = 0;
        for (std::ptrdiff_t t = lo; t <= hi; ++t) {
            const double w = k.at(t);
            const double* v = in + 3 * (P + t);
            S += w;
            a += w * v[0];
            b += w * v[1];
            c += w * v[2];
        }
        const bool cut = lo > -r || hi < r;
        if (cut && S != 0) {
            a /= S;
            b /= S;
            c /= S;
        }
        out[3 * p] = static_cast<float>(a);
        out[3 * p + 1] = static_cast<float>(b);
        out[3 * p + 2] = static_cast<float>(c);
    }

    void column_pass() {
        const gaussian_kernel& k = *kernel_y;
        const std::size_t H = output->height();
        const row_range band =
            gaussian_column_band(3 * output->width(), thread_index, thread_count);
        if (band.begin >= band.end) return;
        const std::size_t c0 = band.begin, m = band.end - band.begin;
        const std::ptrdiff_t r = static_cast<std::ptrdiff_t>(k.radius);
        const std::size_t ring = gaussian_ring_rows(k.radius, H);
        auto ring_row = [&](std::size_t row) { return line + (row % ring) * m; };
        std::size_t loaded = 0;  // rows [.., loaded) have been widened into the ring
        for (std::size_t y = 0; y < H; ++y) {
            const std::ptrdiff_t Y = static_cast<std::ptrdiff_t>(y);
            const std::ptrdiff_t lo = std::max(-r, -Y);
            const std::ptrdiff_t hi = std::min(r, static_cast<std::ptrdiff_t>(H) - 1 - Y);
            for (; loaded <= y + static_cast<std::size_t>(hi); ++loaded)
                ::mist::rows::widen(&output->row(loaded)->r + c0, ring_row(loaded), m);
            double S = 0;
            std::size_t taps = 0;
            for (std::ptrdiff_t t = lo; t <= hi; ++t) {
                S += k.at(t);
                pointers[taps++] = ring_row(static_cast<std::size_t>(Y + t));
            }
            const bool cut = lo > -r || hi < r;
            ::mist::rows::weighted_sum(
                pointers,
                &k.weights[static_cast<std::size_t>(lo + static_cast<std::ptrdiff_t>(k.reach))],
                taps, &output->row(y)->r + c0, m, cut && S != 0, S);
        }
    }
};

}  // namespace linear_filter

// Blurs `image` in place with a Gaussian of `sigma` pixels (scaled by the
// pitches) on `thread_count` workers (0: one per processor): the rows are
// shared out for the row pass, then bands of columns for the column pass.
// False, doing nothing, for an empty image or a sigma that is negative or
// not finite.
inline bool gaussian(array2<rgb<float>>& image, double sigma, std::uint32_t thread_count) {
    if (image.empty() || !(sigma >= 0) || !std::isfinite(sigma)) return false;
    const std::size_t W = image.width(), H = image.height();
    const gaussian_kernel kx = make_gaussian_kernel(sigma, image.pitch_x, W - 1);
    const gaussian_kernel ky = make_gaussian_kernel(sigma, image.pitch_y, H - 1);
    const std::uint32_t n = thread_count == 0 ? processor_count() : thread_count;
    const std::size_t taps = 2 * std::max(kx.reach, ky.reach) + 1;
    const std::size_t band = linear_filter::gaussian_column_band(3 * W, 0, n).end + 16;
    const std::size_t line =
        std::max(3 * W, linear_filter::gaussian_ring_rows(ky.radius, H) * band);
    std::vector<const double*> pointers(taps * n);
    std::vector<double> lines(line * n);
    std::unique_ptr<linear_filter::_1D_linear_thread[]> workers(
        new linear_filter::_1D_linear_thread[n]);
    for (std::uint32_t i = 0; i < n; ++i) {
        linear_filter::_1D_linear_thread& w = workers[i];
        w.thread_index = i;
        w.thread_count = n;
        w.kernel_x = &kx;
        w.kernel_y = &ky;
        w.kernel_z = &ky;
        w.pointers = pointers.data() + taps * i;
        w.line = lines.data() + line * i;
        w.input = &image;
        w.output = &image;
        w.pass = linear_filter::gaussian_pass::rows;
    }
    run_threads(workers.get(), n);
    for (std::uint32_t i = 0; i < n; ++i) workers[i].pass = linear_filter::gaussian_pass::columns;
    run_threads(workers.get(), n);
    return true;
}

}  // namespace mist
