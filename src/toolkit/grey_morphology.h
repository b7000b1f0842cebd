// Grey-level erosion, dilation, opening and closing of 16-bit planes with a
// structuring element of any shape.
//
// The result at each pixel is the minimum (erosion) or maximum (dilation)
// of the pixels under the element, where every cell outside the plane is
// neutral (the neutral border of toolkit/border.h): 32767 for erosion,
// -32768 for dilation, so it never wins.  The same offsets serve both: a
// dilation by an asymmetric element is not reflected.
//
// An element is a list of horizontal runs (morphology_runs): a disc is one
// run per row.  The extreme over a run of length L is read from the source
// row's doubling level k = floor(log2 L), where level k holds the extreme
// over 2^k consecutive cells: two overlapping reads cover the run.  All of
// it is exact integer min/max, so the result does not depend on how it is
// computed, nor on the number of threads.
//
// The work is in four files: this interface and its scheduling
// (grey_morphology.cpp), the plan of a pass (morphology_plan.h), the chunk
// bodies (morphology_passes.cpp) and their vector row loops
// (morphology_kernels-inl.h); the elements are made in
// morphology_elements.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>  // the elements throw std::length_error
#include <vector>

#include "toolkit/grid.h"
#include "toolkit/plane_view.h"

namespace toolkit {

namespace morphology_detail {

// The neutral border's values.
constexpr short kErosionFill = 32767;
constexpr short kDilationFill = -32768;

// The largest number of points an element may have: the toolkit's list
// limit for records of 16 bytes, (2^32 - 1) / 16.
constexpr std::uint64_t kMaxPoints = 0xFFFFFFFFull / 16;

}  // namespace morphology_detail

// One horizontal run of an element: the points (x0..x1, dy), x0 <= x1.
struct morphology_run {
    std::int32_t dy, x0, x1;
};

// A structuring element as horizontal runs, in row order (dy ascending, then
// x0), with its point count and its bounding box.
class morphology_runs {
public:
    // Appends a run.  The builders give runs in row order, and the work
    // does not depend on the order.
    void add(std::int32_t dy, std::int32_t x0, std::int32_t x1);

    const std::vector<morphology_run>& runs() const { return runs_; }
    bool empty() const { return runs_.empty(); }
    std::uint64_t points() const { return points_; }
    // The bounding box of the points (meaningless when empty).
    std::int32_t min_x() const { return min_x_; }
    std::int32_t max_x() const { return max_x_; }
    std::int32_t min_y() const { return min_y_; }
    std::int32_t max_y() const { return max_y_; }

    // The margins a padded copy of an image needs on each side: the
    // element's reach from its centre cell.
    std::int32_t margin_x = 0;
    std::int32_t margin_y = 0;

private:
    std::vector<morphology_run> runs_;
    std::uint64_t points_ = 0;
    std::int32_t min_x_ = 0, max_x_ = -1, min_y_ = 0, max_y_ = -1;
};

// An element from a table built row by row, centred as by table_runs below,
// for tables held elsewhere (a script's table of rows): every row is added
// once, top to bottom, and a row that is the same as the one above may be
// repeated without reading its cells.
class table_runs_builder {
public:
    // Throws std::length_error when a table of this size exceeds the limits.
    table_runs_builder(std::int64_t cols, std::int64_t rows);

    // Adds the next row: is_point(j) tells whether cell j (0..cols-1) is a
    // point.  Throws std::length_error past the point limit.
    template <class IsPoint>
    void add_row(IsPoint&& is_point) {
        const std::size_t first = runs_.runs().size();
        std::int64_t start = -1;
        for (std::int64_t j = 0; j <= cols_; ++j) {
            const bool set = j < cols_ && is_point(j);
            if (set && start < 0) start = j;
            if (!set && start >= 0) {
                runs_.add(row_dy(), static_cast<std::int32_t>(start - cx_),
                          static_cast<std::int32_t>(j - 1 - cx_));
                start = -1;
            }
        }
        end_row(first);
    }
    // Adds the next row as a copy of the row above.
    void repeat_row();

    morphology_runs finish();

private:
    std::int32_t row_dy() const { return static_cast<std::int32_t>(row_ - cy_); }
    void end_row(std::size_t first);

    morphology_runs runs_;
    std::int64_t cols_, rows_, cx_, cy_;
    std::int64_t row_ = 0;
    std::size_t last_row_first_ = 0;  // the first run of the row above
};

// A disc of radius r for an image of pixel pitches pitch_x x pitch_y: the
// cells (j, i) with (ax j)^2 + (ay i)^2 <= r^2, where ax, ay are the pitches
// divided by the larger one.  With unit pitches this is j^2 + i^2 <= r^2:
// radius 1 is the five-point cross, radius 2 has 13 points.  A negative
// radius gives an empty element.  Throws std::length_error("vector<T> too
// long") when the element would have more than kMaxPoints points; the count
// is checked row by row, so an absurd radius fails at once.
morphology_runs circle_runs(double radius, double pitch_x = 1.0, double pitch_y = 1.0);

// An element from a table of cols x rows cells, centred at (cols / 2,
// rows / 2): every non-zero cell is a point.  An all-zero table gives an
// empty element.  Throws std::length_error when the table or its points
// exceed the toolkit's limits.
morphology_runs table_runs(const grid<int>& cells);

// One pass: out(x, y) = the extreme of in(origin_x + x + dx, origin_y + y + dy)
// over the element's points (dx, dy), cells outside `in` being neutral; an
// output whose window holds no cell of `in` is neutral.  The work is bounded
// by the sizes of `in` and `out`, whatever the element's reach: points that
// no output can bring onto `in` are dropped first.  `in` and `out` must not
// overlap.  When every row of `in` has `in_margin` readable cells on each
// side holding the pass's neutral value, and morphology_margin() asks for
// no more, source rows are read where they are instead of being copied.
// Output rows are shared among `threads` jobs of the range call (0: one per
// processor).
void morphology_pass(const plane_view& in, long long origin_x, long long origin_y,
                     const plane_view& out, const morphology_runs& element, bool erode,
                     std::uint32_t threads, std::size_t in_margin = 0);

// The neutral cells a pass with these arguments reads beside each row of
// `in` (at most out's width).
std::size_t morphology_margin(const morphology_runs& element, long long in_w, long long in_h,
                              long long origin_x, long long origin_y, std::size_t out_w,
                              std::size_t out_h);

// An opening (first_erodes) or closing: a first pass over the mid_w x mid_h
// block at (mid_x, mid_y) of `in`, a second from that block, cells outside
// it neutral, into `out` at (origin_x, origin_y) of the block.  The first
// pass's rows go through a small ring, read by the second as they are
// made; only when the element is too large for that does the whole block
// exist at once (in a buffer kept from call to call).
void morphology_two_passes(const plane_view& in, std::size_t in_margin, long long mid_x,
                           long long mid_y, std::size_t mid_w, std::size_t mid_h,
                           long long origin_x, long long origin_y, const plane_view& out,
                           const morphology_runs& element, bool first_erodes,
                           std::uint32_t threads);

// From `in` into `out` (made the size of `in`, with its pitches), with a
// run-form element; `out` must not be `in`.  The second pass of an opening
// or closing goes through a buffer kept from call to call.  False, doing
// nothing, for an empty image or element, or when `out` is `in`.
bool erosion(const grid<short>& in, grid<short>& out, const morphology_runs& e,
             std::uint32_t threads = 0);
bool dilation(const grid<short>& in, grid<short>& out, const morphology_runs& e,
              std::uint32_t threads = 0);
bool opening(const grid<short>& in, grid<short>& out, const morphology_runs& e,
             std::uint32_t threads = 0);
bool closing(const grid<short>& in, grid<short>& out, const morphology_runs& e,
             std::uint32_t threads = 0);

}  // namespace toolkit
