// mist::marray: an array2 with a margin of fixed value around it.
//
// Window loops address neighbours at constant offsets from the centre
// element; with a margin at least as wide as the window's reach, a window at
// the image edge reads margin cells instead of needing a bounds test.  The
// width and height are those of the whole block; the image proper is the
// interior from (margin_x, margin_y) of (width - 2 margin_x) x
// (height - 2 margin_y).  The depth margin exists only for symmetry with 3-D
// arrays and is always 0 here.
#pragma once

#include <algorithm>
#include <cstddef>

#include "toolkit/array.h"

namespace mist {

template <class Array>
class marray : public Array {
public:
    using value_type = typename Array::value_type;
    using size_type = typename Array::size_type;

    marray() = default;

    // A block of (source width + 2 margin_x) x (source height + 2 margin_y)
    // with the source's pitches: margins set to `fill`, the source copied
    // into the interior.  When the block would exceed the element limit the
    // marray is empty (check empty()).
    marray(const Array& source, size_type margin_x, size_type margin_y, const value_type& fill)
        : margin_x_(margin_x), margin_y_(margin_y) {
        this->pitch_x = source.pitch_x;
        this->pitch_y = source.pitch_y;
        if (!this->resize(source.width() + 2 * margin_x, source.height() + 2 * margin_y)) {
            margin_x_ = margin_y_ = 0;
            return;
        }
        fill_margin(fill);
        copy_interior(source);
    }

    size_type margin_x() const { return margin_x_; }
    size_type margin_y() const { return margin_y_; }
    size_type margin_z() const { return 0; }
    size_type interior_width() const { return this->width() - 2 * margin_x_; }
    size_type interior_height() const { return this->height() - 2 * margin_y_; }

    // Sets the top and bottom margin rows (full width) and the left and right
    // margin columns (full height) to `v`; the interior is untouched.
    void fill_margin(const value_type& v) {
        if (this->empty()) return;
        const size_type W = this->width(), H = this->height();
        for (size_type y = 0; y < H; ++y) {
            value_type* row = this->row(y);
            if (y < margin_y_ || y >= H - margin_y_) {
                std::fill(row, row + W, v);
            } else {
                std::fill(row, row + margin_x_, v);
                std::fill(row + W - margin_x_, row + W, v);
            }
        }
    }

    // Copies `source` into the interior row by row, clipped to the smaller
    // of the two sizes; the margins are untouched.
    void copy_interior(const Array& source) {
        if (this->empty()) return;
        const size_type w = std::min(source.width(), interior_width());
        const size_type h = std::min(source.height(), interior_height());
        for (size_type y = 0; y < h; ++y)
            std::copy(source.row(y), source.row(y) + w, this->row(y + margin_y_) + margin_x_);
    }

private:
    size_type margin_x_ = 0;
    size_type margin_y_ = 0;
};

}  // namespace mist
