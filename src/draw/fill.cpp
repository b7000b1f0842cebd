#include "draw/fill.h"

#include <algorithm>

#include "buffers/fill_pixels.h"
#include "buffers/numeric.h"
#include "buffers/rows.h"
#include "platform/wide_int.h"

PIXEL_YC fill_colour(int y, int cb, int cr) { return {low16(y), low16(cb), low16(cr)}; }

void fill_region(const Frame& frame, const Region& region, PIXEL_YC colour) {
    if (region.empty()) return;
    parallel_rows(region.h, [&](int i) {
        fill_pixels(frame.row(region.y + i) + region.x, static_cast<std::size_t>(region.w), colour);
    });
}

void fill_masked(const Frame& frame, const Frame& mask, const PairArea& area, PIXEL_YC colour,
                 int key) {
    for_each_pair(mask, frame, area, [colour, key](const PIXEL_YC& m, PIXEL_YC& d) {
        if (m.y > key) d = colour;
    });
}

namespace {

using Wide = platform::wide_int;

Wide floor_div(Wide n, Wide d) {  // d > 0
    const Wide q = n / d;
    return (n % d != 0 && n < 0) ? q - 1 : q;
}

struct Run {
    int begin = 0, count = 0;
};

// The columns j of 0..w-1 with d0 + j * step <= 0: d is linear in j, so they
// form one run at the left end, the right end, all or none of the row.
// 128-bit: with far-away line points d0 needs more than 64 bits.
Run painted_columns(Wide d0, long long step, int w) {
    Wide begin = 0, end = w;
    if (step == 0) {
        if (d0 > 0) end = 0;
    } else if (step > 0) {
        end = std::min<Wide>(end, floor_div(-d0, step) + 1);
    } else {
        begin = std::max<Wide>(begin, -floor_div(-d0, -step));  // ceil(d0 / -step)
    }
    if (end <= begin) return {};
    return {static_cast<int>(begin), static_cast<int>(end - begin)};
}

}  // namespace

void fill_line_right(const Frame& frame, const Region& region, const DirectedLine& line,
                     PIXEL_YC colour) {
    if (region.empty()) return;
    const long long ax = static_cast<long long>(line.x2) - line.x1;
    const long long ay = static_cast<long long>(line.y2) - line.y1;
    parallel_rows(region.h, [&](int i) {
        // d at j = 0; each step to the right adds ay.
        const Wide d0 = -(static_cast<Wide>(ax) * (i - static_cast<long long>(line.y1)) +
                          static_cast<Wide>(ay) * line.x1);
        const Run run = painted_columns(d0, ay, region.w);
        if (run.count > 0)
            fill_pixels(frame.row(region.y + i) + region.x + run.begin,
                        static_cast<std::size_t>(run.count), colour);
    });
}
