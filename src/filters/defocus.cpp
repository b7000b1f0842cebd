#include "filters/defocus.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "buffers/plane_rows.h"
#include "buffers/region.h"
#include "buffers/rows.h"
#include "buffers/work_plane.h"
#include "filters/work_area.h"
#include "platform/thread_pool.h"
#include "toolkit/border.h"
#include "toolkit/box_mean.h"
#include "toolkit/filter_rows.h"

namespace {

// The lines one slot of the streamed box mean works in.
struct BoxLines {
    std::vector<std::int32_t> column_sums;   // 3 W: the covered rows, per column
    std::vector<std::int64_t> running;       // 3 W + 3: for wide boxes
    std::vector<toolkit::rgb<short>> rows;   // a ring of the covered rows, or one line
    std::vector<toolkit::rgb<short>> means;  // one row of means
    std::size_t ya = 0, yb = 0;              // rows in the column sums: [ya, yb)
};

// Most rows a thread keeps converted; taller boxes convert a row again when
// it leaves the box.
constexpr std::size_t kRingRows = 64;

// The box mean of the W x H window at (x0, y0) streamed row by row: each
// slot keeps the column sums of the rows its box covers (adding the
// entering row, subtracting the leaving one, as the toolkit's box mean
// does, and going on from the previous range of the slot when a range
// continues it) and writes the block the destination keeps straight there.
void defocus_streamed(const AreaJob& job, int kw, int kh, long long x0, long long y0, int W,
                      int H) {
    int ox = static_cast<int>(job.sx - x0), oy = static_cast<int>(job.sy - y0);
    int dx = job.dx, dy = job.dy, w = job.w, h = job.h;
    clip_region_pair(ox, oy, dx, dy, w, h, W, H, job.destination.max_w, job.destination.max_h);
    if (w < 1 || h < 1) return;
    const std::size_t Wn = static_cast<std::size_t>(W), n = 3 * Wn;
    const std::size_t kept = std::min(static_cast<std::size_t>(kh), static_cast<std::size_t>(H));
    const bool ring = kept <= kRingRows;
    const PlaneRows plane(
        {job.source, job.picture_w, job.picture_h, x0, y0, toolkit::border_rule::mirror}, W);
    const pool::Split split{.cost = static_cast<double>(W) * 8};
    std::vector<BoxLines> lines(static_cast<std::size_t>(pool::slots(h, split)));
    for (BoxLines& l : lines) {
        l.column_sums.resize(n);
        l.running.resize(n + 3);
        l.rows.resize((ring ? kept : 1) * Wn);
        l.means.resize(Wn);
    }
    pool::parallel_for(h, split, [&](const pool::Range& r) {
        BoxLines& l = lines[static_cast<std::size_t>(r.slot)];
        // Row k of the window, converted (into its ring slot when entering).
        auto row = [&](std::size_t k, bool entering) -> const short* {
            toolkit::rgb<short>* line = l.rows.data() + (ring ? k % kept * Wn : 0);
            if (entering || !ring) plane.load(static_cast<int>(k), line);
            return &line->r;
        };
        std::int32_t* sums = l.column_sums.data();
        for (int i = r.begin; i < r.end; ++i) {
            const std::size_t y = static_cast<std::size_t>(oy + i);
            const auto [a, b] = toolkit::linear_filter::box_cover(y, static_cast<std::size_t>(kh),
                                                                  static_cast<std::size_t>(H));
            if (i == r.begin && !r.continues) {
                std::fill(sums, sums + n, 0);
                for (std::size_t k = a; k < b; ++k)
                    toolkit::row_kernels::add_row(sums, row(k, true), n);
            } else {
                for (std::size_t k = l.ya; k < a; ++k)
                    toolkit::row_kernels::subtract_row(sums, row(k, false), n);
                for (std::size_t k = l.yb; k < b; ++k)
                    toolkit::row_kernels::add_row(sums, row(k, true), n);
            }
            l.ya = a;
            l.yb = b;
            toolkit::linear_filter::box_mean_row(
                sums, Wn, static_cast<std::size_t>(kw), b - a, &l.means[0].r,
                static_cast<std::size_t>(ox), static_cast<std::size_t>(ox + w), l.running.data());
            rgb_to_yc_row(l.means.data() + ox, job.destination.row(dy + i) + dx,
                          static_cast<std::size_t>(w));
        }
    });
}

}  // namespace

void defocus_region(const AreaJob& job, int kw, int kh) {
    kw = std::clamp(kw, 1, std::max(job.source.max_w, 1));
    kh = std::clamp(kh, 1, std::max(job.source.max_h, 1));
    // The source window: the region and its boxes' reach, cut to the picture.
    const long long x0 = std::max<long long>(0, static_cast<long long>(job.sx) - kw / 2);
    const long long x1 =
        std::min<long long>(job.picture_w, static_cast<long long>(job.sx) + kw / 2 + job.w);
    const long long y0 = std::max<long long>(0, static_cast<long long>(job.sy) - kh / 2);
    const long long y1 =
        std::min<long long>(job.picture_h, static_cast<long long>(job.sy) + kh / 2 + job.h);
    if (x1 <= x0 || y1 <= y0) return;
    // Column sums of at most 65535 rows of 16-bit values fit in 32 bits.
    if (!job.reads_back() && std::min<long long>(kh, y1 - y0) <= 65535)
        return defocus_streamed(job, kw, kh, x0, y0, static_cast<int>(x1 - x0),
                                static_cast<int>(y1 - y0));
    // Source and destination share memory: read the whole window first.
    toolkit::grid<toolkit::rgb<short>> input, output;
    make_work_area(input, x1 - x0, y1 - y0, 0, 0);
    make_work_area(output, x1 - x0, y1 - y0, 0, 0);
    // Every cell lies inside the picture, so the copy reads straight across.
    load_plane({job.source, job.picture_w, job.picture_h, x0, y0, toolkit::border_rule::mirror},
               input);
    toolkit::box_mean(input, output, static_cast<std::size_t>(kw), static_cast<std::size_t>(kh),
                      job.threads);
    store_rgb_region(output, static_cast<int>(job.sx - x0), static_cast<int>(job.sy - y0), job.w,
                     job.h, job.destination, job.dx, job.dy);
}
