// Connected-component labelling and hole filling on whole toolkit arrays,
// for the tests: the plug-in labels its planes through strip_labeling
// directly (mask/label.cpp); these forms label an array in place or into
// another, as the tests compare them with OpenCV.
//
// The result is that of one raster scan with an equivalence table: each
// provisional label's class is the smallest provisional label it is known
// to be connected to, and classes are numbered 1, 2, ... in increasing
// order, which numbers components in the order their first pixel is met.
// The work is done in parallel strips (toolkit/labeling_strips.h), which
// give exactly that result.
//
// Labels live in the array's own element type; with 16-bit cells the counter
// stops at 32767 and every further seed shares that label.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <vector>

#include "toolkit/grid.h"
#include "toolkit/labeling_strips.h"

namespace toolkit {

namespace labeling_detail {

// A 16-bit plane of `image`'s cells for the labelling: the array itself
// when it is one, otherwise `copy` holding 1 where `keep(cell)` and 0
// elsewhere.
template <class T, class Keep>
const short* cells_of(const grid<T>& image, std::vector<short>& copy, Keep keep) {
    if constexpr (std::is_same_v<T, short>) {
        return image.data();
    } else {
        copy.resize(image.size());
        for (std::size_t i = 0; i < image.size(); ++i) copy[i] = keep(image[i]) ? 1 : 0;
        return copy.data();
    }
}

// Labels `image` in place; on entry non-zero cells are foreground.  Returns
// the component count n; cells then hold 0 or 1..n.
template <class Label, bool EightConnected>
std::size_t label(grid<Label>& image) {
    if (image.empty()) return 0;
    std::vector<short> copy;
    const short* cells = cells_of(image, copy, [](Label v) { return v != 0; });
    strip_labeling& work = thread_strip_labeling();
    const std::size_t n =
        work.run(cells, static_cast<std::ptrdiff_t>(image.width()), image.width(), image.height(),
                 foreground_cells::nonzero, EightConnected,
                 static_cast<std::uint32_t>(std::numeric_limits<Label>::max()), false);
    for (std::size_t y = 0; y < image.height(); ++y) work.write_row(y, image.row(y));
    return n;
}

// out = 1 where in > 0, else 0, in the output's size and pitches.
template <class In, class Out>
void foreground(const grid<In>& in, grid<Out>& out) {
    if (static_cast<const void*>(&in) != static_cast<const void*>(&out)) {
        out.resize(in.width(), in.height());
        out.pitch_x = in.pitch_x;
        out.pitch_y = in.pitch_y;
    }
    for (std::size_t i = 0; i < in.size(); ++i) out[i] = static_cast<Out>(in[i] > 0 ? 1 : 0);
}

}  // namespace labeling_detail

// Labels the foreground (cells > 0) of `in` into `out` with 4-connectivity
// (left and above); `out` may be `in`.  Returns the component count n; `out`
// holds 0 for background and 1..n for components in scan order.
template <class In, class Out>
std::size_t labeling4(const grid<In>& in, grid<Out>& out) {
    labeling_detail::foreground(in, out);
    return labeling_detail::label<Out, false>(out);
}

// The same with 8-connectivity (also above-left and above-right).
template <class In, class Out>
std::size_t labeling8(const grid<In>& in, grid<Out>& out) {
    labeling_detail::foreground(in, out);
    return labeling_detail::label<Out, true>(out);
}

template <class T>
std::size_t labeling4(grid<T>& image) {
    return labeling4(image, image);
}
template <class T>
std::size_t labeling8(grid<T>& image) {
    return labeling8(image, image);
}

// Fills holes: every background (0) region except the largest, under
// 4-connectivity, becomes foreground.  Afterwards cells are 1 (foreground
// and filled holes) or 0 (the largest background region).  Any non-zero
// value, negative ones included, counts as foreground.  On equal sizes the
// background region met first in the scan stays background.
template <class T>
void fill_holes(grid<T>& image) {
    if (image.empty()) return;
    std::vector<short> copy;
    const short* cells = labeling_detail::cells_of(image, copy, [](T v) { return v != 0; });
    strip_labeling& work = thread_strip_labeling();
    const std::size_t nb =
        work.run(cells, static_cast<std::ptrdiff_t>(image.width()), image.width(), image.height(),
                 foreground_cells::zero, false,
                 static_cast<std::uint32_t>(std::numeric_limits<int>::max()), true);
    std::size_t largest = 1;
    for (std::size_t k = 2; k <= nb; ++k)
        if (work.measure(k).area > work.measure(largest).area) largest = k;
    for (std::size_t y = 0; y < image.height(); ++y) {
        T* row = image.row(y);
        std::fill(row, row + image.width(), T(1));
        work.for_each_run(y, [&](std::size_t x0, std::size_t x1, std::int32_t k) {
            if (static_cast<std::size_t>(k) == largest) std::fill(row + x0, row + x1, T(0));
        });
    }
}

}  // namespace toolkit
