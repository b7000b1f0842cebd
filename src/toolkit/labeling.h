// Connected-component labelling and hole filling on mist arrays.
//
// Labelling is one raster scan with an equivalence table plus one pass over
// the cells.  Each provisional label's table entry is its class: the
// smallest provisional label it is known to be connected to.  A merge
// rewrites the entries of the absorbed class, so a lookup is always a single
// step.  Classes are numbered 1, 2, ... in increasing order afterwards,
// which numbers components in the order their first pixel is met.
//
// Labels live in the array's own element type; with 16-bit cells the counter
// stops at 32767 and every further seed shares that label.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>

#include "toolkit/array.h"
#include "toolkit/bounded_list.h"

namespace mist {

namespace labeling_detail {

// Initial room of the equivalence table.
constexpr std::size_t initial_table_size = 2560;

// Labels `image` in place; on entry non-zero cells are foreground.  Returns
// the component count n; cells then hold 0 or 1..n.
template <class Label, bool EightConnected>
std::size_t label(array2<Label>& image) {
    const std::size_t W = image.width(), H = image.height();
    if (image.empty()) return 0;
    const std::uint32_t cap = static_cast<std::uint32_t>(std::numeric_limits<Label>::max());
    bounded_list<std::uint32_t> table;
    table.reserve(initial_table_size);
    table.push_back(0);
    std::uint32_t counter = 0;

    for (std::size_t y = 0; y < H; ++y) {
        Label* row = image.row(y);
        const Label* above = y > 0 ? image.row(y - 1) : nullptr;
        for (std::size_t x = 0; x < W; ++x) {
            if (row[x] == 0) continue;
            // Classes of the already-visited neighbours (0: none).
            std::uint32_t c[4] = {0, 0, 0, 0};
            int k = 0;
            if (x > 0) c[k++] = table[static_cast<std::size_t>(row[x - 1])];
            if (above != nullptr) {
                c[k++] = table[static_cast<std::size_t>(above[x])];
                if (EightConnected) {
                    if (x > 0) c[k++] = table[static_cast<std::size_t>(above[x - 1])];
                    if (x + 1 < W) c[k++] = table[static_cast<std::size_t>(above[x + 1])];
                }
            }
            std::uint32_t m = 0;
            for (int i = 0; i < k; ++i)
                if (c[i] != 0 && (m == 0 || c[i] < m)) m = c[i];
            if (m == 0) {
                if (counter < cap) {
                    ++counter;
                    table.push_back(counter);
                }
                row[x] = static_cast<Label>(counter);
                continue;
            }
            row[x] = static_cast<Label>(m);
            bool mixed = false;
            for (int i = 0; i < k; ++i) mixed |= c[i] != 0 && c[i] != m;
            if (!mixed) continue;
            std::sort(c, c + k);
            for (int i = 0; i < k; ++i) {
                const std::uint32_t q = c[i];
                if (q == 0 || q == m || (i > 0 && c[i - 1] == q)) continue;
                // Entries holding q have indices >= q (a class is the
                // smallest label in it), so the rewrite starts there.
                for (std::size_t e = q; e <= counter; ++e)
                    if (table[e] == q) table[e] = m;
            }
        }
    }

    // Number the classes in increasing order, then relabel the cells.
    bounded_list<std::uint32_t> number;
    number.assign(static_cast<std::size_t>(counter) + 1, 0);
    for (std::size_t e = 1; e <= counter; ++e) number[table[e]] = 1;
    std::uint32_t n = 0;
    for (std::size_t cls = 1; cls <= counter; ++cls)
        if (number[cls] != 0) number[cls] = ++n;
    for (std::size_t e = 1; e <= counter; ++e) table[e] = number[table[e]];
    for (Label& cell : image) cell = static_cast<Label>(table[static_cast<std::size_t>(cell)]);
    return n;
}

// out = 1 where in > 0, else 0, in the output's size and pitches.
template <class In, class Out>
void foreground(const array2<In>& in, array2<Out>& out) {
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
std::size_t labeling4(const array2<In>& in, array2<Out>& out) {
    labeling_detail::foreground(in, out);
    return labeling_detail::label<Out, false>(out);
}

// The same with 8-connectivity (also above-left and above-right).
template <class In, class Out>
std::size_t labeling8(const array2<In>& in, array2<Out>& out) {
    labeling_detail::foreground(in, out);
    return labeling_detail::label<Out, true>(out);
}

template <class T>
std::size_t labeling4(array2<T>& image) {
    return labeling4(image, image);
}
template <class T>
std::size_t labeling8(array2<T>& image) {
    return labeling8(image, image);
}

// Fills holes: every background (0) region except the largest, under
// 4-connectivity, becomes foreground.  Afterwards cells are 1 (foreground
// and filled holes) or 0 (the largest background region).  Any non-zero
// value, negative ones included, counts as foreground.  On equal sizes the
// background region met first in the scan stays background.
template <class T>
void fill_holes(array2<T>& image) {
    if (image.empty()) return;
    array2<int> background(image.width(), image.height());
    if (background.empty()) throw std::length_error("hole-filling array too large");
    background.pitch_x = image.pitch_x;
    background.pitch_y = image.pitch_y;
    for (std::size_t i = 0; i < image.size(); ++i) background[i] = image[i] == 0 ? 1 : 0;
    const std::size_t nb = labeling_detail::label<int, false>(background);
    bounded_list<std::size_t> count;
    count.assign(nb + 1, 0);
    for (const int v : background) ++count[static_cast<std::size_t>(v)];
    std::size_t largest = 1;
    for (std::size_t k = 2; k <= nb; ++k)
        if (count[k] > count[largest]) largest = k;
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<T>(static_cast<std::size_t>(background[i]) != largest ? 1 : 0);
}

}  // namespace mist
