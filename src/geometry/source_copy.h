// A transform that reads and writes the same buffer would read pixels it has
// already written (and, with rows in parallel, pixels another thread is
// writing).  Such a call reads a private copy of the buffer instead, so it
// gives the same picture as a call through a second buffer.
#pragma once

#include <memory>

#include "buffers/copy_frame.h"
#include "buffers/frame.h"

// Calls work(source), where source is `src` itself or, when `src` is the
// buffer `dst`, a copy of it.  The copy may throw std::bad_alloc.
template <class Work>
void with_distinct_source(const Frame& src, const Frame& dst, Work&& work) {
    if (src.pixels != dst.pixels) {
        work(src);
        return;
    }
    std::unique_ptr<PIXEL_YC[]> copy(new PIXEL_YC[src.pixel_count()]);
    const Frame view{copy.get(), src.max_w, src.max_h};
    copy_area(src, 0, 0, view, 0, 0, src.max_w, src.max_h);
    work(view);
}
