// Connected-component labelling in horizontal strips, each strip one range
// of the pool's range call.
//
// Each strip's rows are scanned alone, finding the runs of foreground cells
// of each row (a vector of cells a test) and giving each run the label of
// the runs above that it touches, joined into one, or a new label from a
// range of the strip's own.  Labels are joined in a union-find table whose
// roots are always the smallest label of their set; the strips' ranges
// follow one another in scan order.  The runs that touch across a strip
// border are then joined, the table flattened, and the components measured
// in parallel again.  Only the runs are kept, not a plane of labels.
//
// The result is that of one raster scan over the whole plane: components
// are numbered 1, 2, ... in the order their first cell is met, and the
// provisional counter stops at `cap` exactly as a scan with labels of a
// narrow type does: every seed from the cap-th on (a seed is a foreground
// cell none of whose earlier neighbours is foreground) shares one
// provisional label, so the components they start are joined into one.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace toolkit {

// Which cells of a 16-bit plane are foreground.
enum class foreground_cells { positive, nonzero, zero };

// Pixel count and bounding box of one component.
struct component_measure {
    std::int32_t area;
    std::int32_t min_x, max_x, min_y, max_y;
};

// The buffers of a labelling, kept from call to call (grown, never shrunk).
class strip_labeling {
public:
    // Labels the w x h plane at `cells` (rows `stride` cells apart) with 8-
    // or 4-connectivity; afterwards for_each_run and write_row give each
    // cell's component.  With `measures` set, measure(k) describes component
    // k for 1 <= k <= count (area 0 and an empty box for k = 0).  Returns the
    // component count.  `cap` is the provisional counter's limit.
    // The plane is cut into `threads` strips (0: the pool's worker count),
    // fewer when it is short.
    // Throws std::length_error when the plane is too large to label,
    // std::bad_alloc when its buffers cannot be had.
    std::size_t run(const short* cells, std::ptrdiff_t stride, std::size_t w, std::size_t h,
                    foreground_cells rule, bool eight, std::uint32_t cap, bool measures,
                    std::uint32_t threads = 0);

    // Calls f(x0, x1, k) for each run [x0, x1) of foreground cells of row y,
    // k its component (1..count), from left to right.
    template <class F>
    void for_each_run(std::size_t y, F&& f) const {
        const std::vector<cell_run>& runs = strips_[row_strip_[y]].runs;
        for (std::uint32_t i = row_begin_[y]; i < row_end_[y]; ++i) {
            const cell_run& r = runs[i];
            f(static_cast<std::size_t>(r.x0), static_cast<std::size_t>(r.x1),
              static_cast<std::int32_t>(parent_[r.label]));
        }
    }

    // Row y's components, 0 for background, into `out` (w cells).
    template <class T>
    void write_row(std::size_t y, T* out) const {
        std::size_t x = 0;
        for_each_run(y, [&](std::size_t x0, std::size_t x1, std::int32_t k) {
            std::fill(out + x, out + x0, T(0));
            std::fill(out + x0, out + x1, static_cast<T>(k));
            x = x1;
        });
        std::fill(out + x, out + width_, T(0));
    }

    std::size_t count() const { return count_; }
    const component_measure& measure(std::size_t k) const { return measures_[k]; }

    // One run of a row: cells [x0, x1), provisional label `label`.
    struct cell_run {
        std::int32_t x0, x1;
        std::uint32_t label;
    };

private:
    struct strip {
        std::size_t y0 = 0, y1 = 0;  // its rows
        std::uint32_t base = 0;      // its labels are base + 1 .. base + used
        std::uint32_t used = 0;
        std::uint64_t seeds = 0;     // the cells one scan of the whole plane would give a new label
        std::vector<cell_run> runs;  // its rows' runs, row after row
        std::vector<std::uint32_t> bounds;  // one row's runs as cell_runs finds them
        std::vector<component_measure> measures;
    };

    std::size_t width_ = 0, count_ = 0;
    std::vector<std::uint32_t> parent_;
    std::vector<std::uint32_t> row_strip_;  // the strip of each row
    std::vector<std::uint32_t>
        row_begin_;  // row y's runs: [row_begin_[y], row_end_[y]) of its strip's
    std::vector<std::uint32_t> row_end_;
    std::vector<strip> strips_;
    std::vector<component_measure> measures_;
};

// This thread's labelling buffers.
strip_labeling& thread_strip_labeling();

}  // namespace toolkit
