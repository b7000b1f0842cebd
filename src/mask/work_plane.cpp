#include "mask/work_plane.h"

#include "buffers/parallel.h"
#include "buffers/region.h"

void store_work_y(const mist::array2<short>& work, int wx, int wy, const Frame& destination, int dx,
                  int dy, int w, int h) {
    clip_region_pair(wx, wy, dx, dy, w, h, static_cast<int>(work.width()), static_cast<int>(work.height()),
                     destination.max_w, destination.max_h);
    if (w < 1 || h < 1) return;
    parallel_rows(h, [&](int i) {
        const short* in = work.row(static_cast<std::size_t>(wy + i)) + wx;
        PIXEL_YC* out = destination.row(dy + i) + dx;
        for (int j = 0; j < w; ++j) out[j].y = in[j];
    });
}
