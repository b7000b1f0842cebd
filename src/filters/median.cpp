#include "filters/median.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "buffers/plane_rows.h"
#include "buffers/region.h"
#include "buffers/work_plane.h"
#include "filters/work_area.h"
#include "platform/thread_pool.h"
#include "toolkit/median_rows.h"
#include "toolkit/pixel_median.h"

namespace {

// The lines one slot of the streamed median works in.
struct MedianLines {
    std::vector<double> ring;                 // the window's rows of keys, kh of them
    std::vector<toolkit::rgb<short>> pixels;  // one row of the work plane
    std::vector<double> keys_out;             // one row of medians
    std::vector<double> window;               // selection scratch (other windows)
    std::vector<const double*> rows;          // the window's rows in order, and scratch
    int loaded = 0;                           // the next work row to turn into keys
};

// The work plane is (w + 2 ex) x (h + 2 ey) with the region at (ex, ey), as
// in the array version below; only the block the destination keeps is
// computed, each range loading the rows it needs (and their halo) into its
// slot's ring of keys, going on from the previous range of its slot when it
// continues it, and writing its medians straight to the destination.
void median_streamed(const AreaJob& job, int kw, int kh) {
    const int ex = kw / 2, ey = kh / 2;
    const int W = job.w + 2 * ex, H = job.h + 2 * ey;
    int ox = ex, oy = ey, dx = job.dx, dy = job.dy, w = job.w, h = job.h;
    clip_region_pair(ox, oy, dx, dy, w, h, W, H, job.destination.max_w, job.destination.max_h);
    if (w < 1 || h < 1) return;
    const std::size_t kw1 = static_cast<std::size_t>(kw | 1),
                      kh1 = static_cast<std::size_t>(kh | 1);
    // Work columns ox - ex .. ox + w + ex - 1 of the plane.
    const std::size_t n_in = static_cast<std::size_t>(w) + 2 * static_cast<std::size_t>(ex);
    const std::size_t n_out = static_cast<std::size_t>(w);
    const PlaneRows plane(
        {job.source, job.picture_w, job.picture_h, static_cast<long long>(job.sx) - ex + (ox - ex),
         static_cast<long long>(job.sy) - ey, toolkit::border_rule::mirror},
        static_cast<int>(n_in));
    const pool::Split split{.cost = toolkit::median_filter::median_row_cost(n_out, kw1, kh1)};
    std::vector<MedianLines> lines(static_cast<std::size_t>(pool::slots(h, split)));
    for (MedianLines& l : lines) {
        l.ring.resize(kh1 * n_in);
        l.pixels.resize(std::max(n_in, n_out));
        l.keys_out.resize(n_out);
        if (!(kw1 == kh1 && (kw1 == 3 || kw1 == 5))) l.window.resize(kw1 * kh1);
        l.rows.resize(2 * kh1);
    }
    pool::parallel_for(h, split, [&](const pool::Range& r) {
        MedianLines& l = lines[static_cast<std::size_t>(r.slot)];
        auto ring_row = [&](int k) {
            return l.ring.data() + static_cast<std::size_t>(k) % kh1 * n_in;
        };
        if (!r.continues) l.loaded = oy + r.begin - ey;
        for (int i = r.begin; i < r.end; ++i) {
            const int y = oy + i;
            for (; l.loaded <= y + ey; ++l.loaded) {
                plane.load(l.loaded, l.pixels.data());
                toolkit::row_kernels::to_keys(&l.pixels[0].r, ring_row(l.loaded), n_in);
            }
            for (std::size_t k = 0; k < kh1; ++k)
                l.rows[k] = ring_row(y - ey + static_cast<int>(k));
            if (!toolkit::median_filter::median_row_checked(l.rows.data(), kw1, kh1,
                                                            l.keys_out.data(), n_out,
                                                            l.window.data(), l.rows.data() + kh1))
                return;
            median_keys_to_yc_row(l.keys_out.data(), job.destination.row(dy + i) + dx, n_out);
        }
    });
}

}  // namespace

void median_region(const AreaJob& job, int kw, int kh) {
    kw = std::clamp(kw, 1, std::max(job.source.max_w, 1));
    kh = std::clamp(kh, 1, std::max(job.source.max_h, 1));
    const int ex = kw / 2, ey = kh / 2;
    const long long W = static_cast<long long>(job.w) + 2LL * ex;
    const long long H = static_cast<long long>(job.h) + 2LL * ey;
    if (W > 0x7FFFFFFF || H > 0x7FFFFFFF)
        throw std::length_error("work area too large (" + std::to_string(W) + " x " +
                                std::to_string(H) + " pixels)");
    if (!job.reads_back()) return median_streamed(job, kw, kh);
    // Source and destination share memory: read the whole region first.
    toolkit::grid<toolkit::rgb<short>> input, output;
    make_work_area(input, job.w, job.h, ex, ey);
    load_plane({job.source, job.picture_w, job.picture_h, static_cast<long long>(job.sx) - ex,
                static_cast<long long>(job.sy) - ey, toolkit::border_rule::mirror},
               input);
    toolkit::pixel_median(input, output, static_cast<std::size_t>(kw), static_cast<std::size_t>(kh),
                          job.threads);
    store_rgb_region(output, ex, ey, job.w, job.h, job.destination, job.dx, job.dy);
}
