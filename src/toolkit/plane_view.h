// toolkit::plane_view: a 16-bit plane seen through a pointer.
//
// The morphology work and the frame copies use it for planes kept in buffers
// that live from call to call (grown when a call needs more, never shrunk),
// where a toolkit::grid would give up its block on every change of size.
#pragma once

#include <cstddef>

#include "toolkit/grid.h"

namespace toolkit {

// `height` rows of `width` cells, rows `stride` cells apart.
struct plane_view {
    short* data = nullptr;
    std::size_t width = 0, height = 0;
    std::ptrdiff_t stride = 0;

    short* row(std::size_t y) const { return data + static_cast<std::ptrdiff_t>(y) * stride; }
    static plane_view of(grid<short>& a) {
        return {a.data(), a.width(), a.height(), static_cast<std::ptrdiff_t>(a.width())};
    }
};

}  // namespace toolkit
