// Median filter of an RGB array that orders whole pixels.
//
// Output (x, y) is the middle pixel of the kw x kh window centred on it
// (kw and kh made odd), the window's pixels ordered lexicographically by R,
// then G, then B: all three components come from one pixel of the window.
// Pixels whose window would leave the array take the lower middle of the
// part inside it; a caller that wants whole windows gives the array a
// margin and keeps only the inside.
//
// Each worker takes a band of rows and turns every input row it needs into
// keys once (see median_rows.h), keeping the window's rows in a ring.  A
// 3 x 3 window sorts each column once and takes the median from the sorted
// columns; a 5 x 5 window sorts its columns and merges them with a fixed
// network; other windows select the middle key of the gathered window.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "toolkit/array.h"
#include "toolkit/controller.h"
#include "toolkit/median_rows.h"
#include "toolkit/rgb.h"
#include "toolkit/thread.h"

namespace mist {

namespace median_filter {

// The scratch one worker needs for a W-wide input and a kw x kh window.
struct median_scratch {
    static std::size_t ring_size(std::size_t W, std::size_t H, std::size_t kh) {
        return W * std::min(kh, H);
    }
    static std::size_t window_size(std::size_t W, std::size_t H, std::size_t kw, std::size_t kh) {
        return std::min(kw, W) * std::min(kh, H);
    }
};

class median_thread : public thread<median_thread> {
public:
    const array2<rgb<short>>* input = nullptr;
    array2<rgb<short>>* output = nullptr;
    std::size_t width = 3, height = 3, depth = 3;  // the window (odd)
    double* ring = nullptr;                        // scratch: min(height, H) rows of keys
    double* line = nullptr;                        // scratch: one row of output keys
    double* window = nullptr;                      // scratch: the keys of one window
    const double** row_keys = nullptr;             // scratch: height row pointers

protected:
    std::uint32_t thread_function() override {
        const std::size_t W = input->width(), H = input->height();
        const std::size_t ex = width / 2, ey = height / 2;
        const row_range band = row_band(H, thread_index, thread_count);
        const bool whole_rows = W >= width && H >= height;
        std::size_t loaded = 0;  // rows [first needed, loaded) are in the ring
        for (std::size_t y = band.begin; y < band.end; ++y) {
            rgb<short>* out = output->row(y);
            if (!whole_rows || y < ey || y + ey >= H) {
                for (std::size_t x = 0; x < W; ++x) out[x] = cut_window(x, y);
                continue;
            }
            for (std::size_t k = std::max(loaded, y - ey); k <= y + ey; ++k)
                rows::to_keys(&input->row(k)->r, ring_row(k), W);
            loaded = y + ey + 1;
            for (std::size_t k = 0; k < height; ++k) row_keys[k] = ring_row(y - ey + k);
            const std::size_t n = W - 2 * ex;
            rows::median_row(row_keys, width, height, line, n, window);
            rows::from_keys(line, &out[ex].r, n);
            for (std::size_t x = 0; x < ex; ++x) out[x] = cut_window(x, y);
            for (std::size_t x = W - ex; x < W; ++x) out[x] = cut_window(x, y);
        }
        return 1;
    }

private:
    double* ring_row(std::size_t k) const { return ring + (k % height) * input->width(); }

    // The window of (x, y) cut to the array; the lower middle of an even
    // count.
    rgb<short> cut_window(std::size_t x, std::size_t y) {
        const std::size_t W = input->width(), H = input->height();
        const std::size_t ex = width / 2, ey = height / 2;
        const std::size_t xa = x >= ex ? x - ex : 0, xb = std::min(W, x + ex + 1);
        const std::size_t ya = y >= ey ? y - ey : 0, yb = std::min(H, y + ey + 1);
        std::size_t count = 0;
        for (std::size_t k = ya; k < yb; ++k) {
            rows::to_keys(&input->row(k)[xa].r, window + count, xb - xa);
            count += xb - xa;
        }
        std::nth_element(window, window + (count - 1) / 2, window + count);
        rgb<short> p;
        rows::from_keys(window + (count - 1) / 2, &p.r, 1);
        return p;
    }
};

}  // namespace median_filter

// The median of `in` over a kw x kh window (each made odd with | 1) into
// `out` on `thread_count` workers (0: one per processor).  False, doing
// nothing, when out is in or the input is empty.
inline bool median(const array2<rgb<short>>& in, array2<rgb<short>>& out, std::size_t kw,
                   std::size_t kh, std::uint32_t thread_count) {
    if (static_cast<const void*>(&in) == static_cast<const void*>(&out) || in.empty()) return false;
    const std::size_t W0 = in.width(), H0 = in.height();
    // A window reaching past every edge from every pixel covers the whole
    // array; wider ones give the same result.
    kw = std::min(kw, 2 * W0 - 1) | 1;
    kh = std::min(kh, 2 * H0 - 1) | 1;
    const std::uint32_t n = thread_count == 0 ? processor_count() : thread_count;
    const std::size_t W = in.width(), H = in.height();
    const std::size_t ring = median_filter::median_scratch::ring_size(W, H, kh);
    const std::size_t window = median_filter::median_scratch::window_size(W, H, kw, kh);
    const std::size_t rows_kept = std::min(kh, H);
    std::vector<double> keys((ring + W + window) * n);
    std::vector<const double*> pointers(rows_kept * n);
    std::uint32_t next = 0;
    return run_row_filter<median_filter::median_thread>(
        in, out, n, [&](median_filter::median_thread& w) {
            double* mine = keys.data() + (ring + W + window) * next;
            w.input = &in;
            w.output = &out;
            w.width = kw;
            w.height = kh;
            w.depth = 1;
            w.ring = mine;
            w.line = mine + ring;
            w.window = mine + ring + W;
            w.row_keys = pointers.data() + rows_kept * next;
            ++next;
        });
}

}  // namespace mist
