// Median filter of an RGB array that orders whole pixels.
//
// Output (x, y) is the middle pixel of the kw x kh window centred on it
// (kw and kh made odd), the window's pixels ordered lexicographically by R,
// then G, then B: all three components come from one pixel of the window.
// The border is cut (toolkit/border.h): pixels whose window would leave the
// array take the lower middle of the part inside it; a caller that wants whole windows gives the
// array a margin and keeps only the inside.
//
// Each range of rows turns every input row it needs into keys once (see
// median_rows.h), keeping the window's rows in a ring that a range
// continuing its slot's previous one goes on using.  A 3 x 3 window sorts
// each column once and takes the median from the sorted columns; a 5 x 5
// window sorts its columns, merges neighbouring pairs of them, and takes
// two neighbouring outputs from the four columns they share and one more
// each (fixed networks); other
// windows select the middle key of the gathered window, a few columns at a
// time when the window is large, so that a passed deadline is seen within
// a row.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/thread_pool.h"
#include "platform/work_deadline.h"
#include "toolkit/border.h"
#include "toolkit/filter_call.h"
#include "toolkit/grid.h"
#include "toolkit/median_rows.h"
#include "toolkit/rgb.h"

namespace toolkit {

namespace median_filter {

// Keys one selection may gather before the deadline is looked at again:
// about a millisecond of work.
constexpr std::size_t kMedianKeysBetweenChecks = std::size_t{1} << 20;

// The rough cost of a row of n medians over kw x kh windows, for the range
// call's blocks: the 3 x 3 and 5 x 5 networks are cheap enough that their
// rows need no such care (0: no cost given).
inline double median_row_cost(std::size_t n, std::size_t kw, std::size_t kh) {
    if (kw == kh && (kw == 3 || kw == 5)) return 0;
    return static_cast<double>(n) * static_cast<double>(kw) * static_cast<double>(kh);
}

// out[x] = the median of the kw x kh keys in columns x..x+kw-1 of rows
// r[0..kh-1], for x < n; large windows a few columns at a time, stopping
// (false) once the work deadline has passed.  `shifted` is scratch for kh
// row pointers.
inline bool median_row_checked(const double* const* r, std::size_t kw, std::size_t kh, double* out,
                               std::size_t n, double* window, const double** shifted) {
    const std::size_t window_keys = kw * kh;
    if (window_keys * n <= kMedianKeysBetweenChecks) {
        row_kernels::median_row(r, kw, kh, out, n, window);
        return true;
    }
    const std::size_t step = std::max<std::size_t>(1, kMedianKeysBetweenChecks / window_keys);
    for (std::size_t x = 0; x < n; x += step) {
        if (work_deadline::passed()) return false;
        for (std::size_t k = 0; k < kh; ++k) shifted[k] = r[k] + x;
        row_kernels::median_row(shifted, kw, kh, out + x, std::min(step, n - x), window);
    }
    return true;
}

// The scratch of one slot for a W-wide input and a kw x kh window.
struct median_scratch {
    static std::size_t ring_size(std::size_t W, std::size_t H, std::size_t kh) {
        return W * std::min(kh, H);
    }
    static std::size_t window_size(std::size_t W, std::size_t H, std::size_t kw, std::size_t kh) {
        return std::min(kw, W) * std::min(kh, H);
    }

    double* ring = nullptr;             // min(height, H) rows of keys
    double* line = nullptr;             // one row of output keys
    double* window = nullptr;           // the keys of one window
    const double** row_keys = nullptr;  // 2 x height row pointers
    std::size_t loaded = 0;             // rows [first needed, loaded) are in the ring
};

// Output rows of one median.
class median_filter_rows {
public:
    const grid<rgb<short>>* input = nullptr;
    grid<rgb<short>>* output = nullptr;
    std::size_t width = 3, height = 3;  // the window (odd)

    // Rows [y0, y1); `continues`: the ring holds what the rows before y0
    // loaded.  Returns early once the work deadline has passed.
    void run(std::size_t y0, std::size_t y1, median_scratch& s, bool continues) const {
        const std::size_t W = input->width(), H = input->height();
        const std::size_t ex = width / 2, ey = height / 2;
        const bool whole_rows = W >= width && H >= height;
        if (!continues) s.loaded = 0;
        for (std::size_t y = y0; y < y1; ++y) {
            rgb<short>* out = output->row(y);
            if (!whole_rows || y < ey || y + ey >= H) {
                if (!cut_row(y, 0, W, s.window, out)) return;
                continue;
            }
            for (std::size_t k = std::max(s.loaded, y - ey); k <= y + ey; ++k)
                row_kernels::to_keys(&input->row(k)->r, ring_row(s, k), W);
            s.loaded = y + ey + 1;
            for (std::size_t k = 0; k < height; ++k) s.row_keys[k] = ring_row(s, y - ey + k);
            const std::size_t n = W - 2 * ex;
            if (!median_row_checked(s.row_keys, width, height, s.line, n, s.window,
                                    s.row_keys + height))
                return;
            row_kernels::from_keys(s.line, &out[ex].r, n);
            if (!cut_row(y, 0, ex, s.window, out) || !cut_row(y, W - ex, W, s.window, out)) return;
        }
    }

private:
    double* ring_row(const median_scratch& s, std::size_t k) const {
        return s.ring + (k % height) * input->width();
    }

    // Columns [x0, x1) of row y by cut windows; false once the deadline has
    // passed (looked at between pixels when the windows are large).
    bool cut_row(std::size_t y, std::size_t x0, std::size_t x1, double* window,
                 rgb<short>* out) const {
        const bool check = width * height >= 4096;
        for (std::size_t x = x0; x < x1; ++x) {
            if (check && work_deadline::passed()) return false;
            out[x] = cut_window(x, y, window);
        }
        return true;
    }

    // The window of (x, y) cut to the array (a cut border); the lower
    // middle of an even count.
    rgb<short> cut_window(std::size_t x, std::size_t y, double* window) const {
        const long long W = static_cast<long long>(input->width());
        const long long H = static_cast<long long>(input->height());
        const long long ex = static_cast<long long>(width / 2);
        const long long ey = static_cast<long long>(height / 2);
        const long long left = static_cast<long long>(x) - ex;
        const long long top = static_cast<long long>(y) - ey;
        const line_span cols = on_line(left, 2 * ex + 1, W);
        const line_span rows = on_line(top, 2 * ey + 1, H);
        const std::size_t xa = static_cast<std::size_t>(left + cols.begin);
        const std::size_t xb = static_cast<std::size_t>(left + cols.end);
        const std::size_t ya = static_cast<std::size_t>(top + rows.begin);
        const std::size_t yb = static_cast<std::size_t>(top + rows.end);
        std::size_t count = 0;
        for (std::size_t k = ya; k < yb; ++k) {
            row_kernels::to_keys(&input->row(k)[xa].r, window + count, xb - xa);
            count += xb - xa;
        }
        std::nth_element(window, window + (count - 1) / 2, window + count);
        rgb<short> p;
        row_kernels::from_keys(window + (count - 1) / 2, &p.r, 1);
        return p;
    }
};

}  // namespace median_filter

// The median of `in` over a kw x kh window (each made odd with | 1) into
// `out` on `thread_count` jobs (0: one per processor).  False, doing
// nothing, when out is in or the input is empty.
inline bool pixel_median(const grid<rgb<short>>& in, grid<rgb<short>>& out, std::size_t kw,
                         std::size_t kh, std::uint32_t thread_count) {
    if (static_cast<const void*>(&in) == static_cast<const void*>(&out) || in.empty()) return false;
    const std::size_t W = in.width(), H = in.height();
    // A window reaching past every edge from every pixel covers the whole
    // array; wider ones give the same result.
    kw = std::min(kw, 2 * W - 1) | 1;
    kh = std::min(kh, 2 * H - 1) | 1;
    prepare_output(in, out);
    const median_filter::median_filter_rows rows{&in, &out, kw, kh};
    const pool::Split split{
        .jobs = filter_jobs(thread_count),
        .cost = median_filter::median_row_cost(W, std::min(kw, W), std::min(kh, H))};
    const std::size_t slots = static_cast<std::size_t>(pool::slots(static_cast<int>(H), split));
    const std::size_t ring = median_filter::median_scratch::ring_size(W, H, kh);
    const std::size_t window = median_filter::median_scratch::window_size(W, H, kw, kh);
    const std::size_t rows_kept = std::min(kh, H);
    std::vector<double> keys((ring + W + window) * slots);
    std::vector<const double*> pointers(2 * rows_kept * slots);
    std::vector<median_filter::median_scratch> scratch(slots);
    for (std::size_t k = 0; k < slots; ++k) {
        double* mine = keys.data() + (ring + W + window) * k;
        scratch[k].ring = mine;
        scratch[k].line = mine + ring;
        scratch[k].window = mine + ring + W;
        scratch[k].row_keys = pointers.data() + 2 * rows_kept * k;
    }
    pool::parallel_for(static_cast<int>(H), split, [&](const pool::Range& r) {
        rows.run(static_cast<std::size_t>(r.begin), static_cast<std::size_t>(r.end),
                 scratch[static_cast<std::size_t>(r.slot)], r.continues);
    });
    return true;
}

}  // namespace toolkit
