#include "buffers/copy_frame.h"

#include <cstring>

#include "buffers/rows.h"

void copy_area(const Frame& from, int fx, int fy, const Frame& to, int bx, int by, int w, int h) {
    if (w < 1 || h < 1) return;
    parallel_rows(h, [&](int i) {
        std::memmove(to.row(by + i) + bx, from.row(fy + i) + fx, sizeof(PIXEL_YC) * w);
    });
}
