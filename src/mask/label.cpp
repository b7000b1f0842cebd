#include "mask/label.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "buffers/region.h"
#include "buffers/rows.h"
#include "buffers/work_plane.h"
#include "platform/thread_pool.h"
#include "toolkit/labeling_strips.h"

namespace {

// Per-label statistics while the label image is measured.
struct Record {
    std::int32_t label;
    std::int32_t area;
    std::int32_t min_x, max_x, min_y, max_y;
};

// The y of the source region in a w x h plane kept from call to call (grown,
// never shrunk); cells whose source pixel lies outside the buffer are 0.
toolkit::plane_view copy_region_in(const AreaJob& job) {
    thread_local std::vector<short> storage;
    const std::size_t w = static_cast<std::size_t>(job.w), h = static_cast<std::size_t>(job.h);
    if (w * h > toolkit::grid<short>::kMaxCount) throw std::length_error("work area too large");
    if (storage.size() < w * h) storage.resize(w * h);
    const toolkit::plane_view plane{storage.data(), w, h, static_cast<std::ptrdiff_t>(w)};
    const bool inside = job.sx >= 0 && job.sy >= 0 &&
                        static_cast<long long>(job.sx) + job.w <= job.source.max_w &&
                        static_cast<long long>(job.sy) + job.h <= job.source.max_h;
    if (!inside)
        std::fill(storage.begin(), storage.begin() + static_cast<std::ptrdiff_t>(w * h), short{0});
    load_plane({job.source, 0, 0, job.sx, job.sy, toolkit::border_rule::none}, plane);
    return plane;
}

bool within(const Record& r, const ComponentLimits& k) {
    const std::int32_t width = r.max_x - r.min_x + 1, height = r.max_y - r.min_y + 1;
    return r.area >= k.min_area && r.area <= k.max_area && width >= k.min_width &&
           width <= k.max_width && height >= k.min_height && height <= k.max_height;
}

}  // namespace

std::int32_t component_capacity(int w, int h) {
    const long long pixels = static_cast<long long>(std::max(w, 0)) * std::max(h, 0);
    return static_cast<std::int32_t>(std::min<long long>(pixels, 32767));
}

std::int32_t label_region(const AreaJob& job, bool eight_connected, const ComponentLimits& limits,
                          ComponentInfo* out) {
    const toolkit::plane_view work = copy_region_in(job);
    toolkit::strip_labeling& labels = toolkit::thread_strip_labeling();
    const std::size_t n = labels.run(work.data, work.stride, work.width, work.height,
                                     toolkit::foreground_cells::positive, eight_connected, 32767,
                                     true, static_cast<std::uint32_t>(pool::worker_count()));

    std::vector<Record> records(n + 1);
    for (std::size_t v = 0; v <= n; ++v) {
        const toolkit::component_measure& m = labels.measure(v);
        records[v] = {static_cast<std::int32_t>(v), m.area, m.min_x, m.max_x, m.min_y, m.max_y};
    }
    records[0].area = 0;

    // new_label[v]: the number now carried by the component labelled v.
    std::vector<short> new_label(n + 1, 0);
    std::int32_t count = 0;
    if (n >= 1) {
        count = static_cast<std::int32_t>(n);
        for (std::size_t v = 1; v <= n; ++v)
            if (!within(records[v], limits)) {
                records[v].label = 0;
                records[v].area = 0;
                --count;
            }
        // Largest first; equal areas keep the order of their labels, and
        // the removed records (area 0) go last.
        std::vector<Record> order(records.begin() + 1, records.end());
        std::stable_sort(order.begin(), order.end(),
                         [](const Record& a, const Record& b) { return a.area > b.area; });
        for (std::int32_t k = 0; k < count; ++k) {
            new_label[static_cast<std::size_t>(order[k].label)] = static_cast<short>(k + 1);
            const Record& r = order[k];
            out[k] = {k + 1,
                      r.area,
                      static_cast<std::int64_t>(r.min_x) + job.dx,
                      static_cast<std::int64_t>(r.min_y) + job.dy,
                      r.max_x - r.min_x + 1,
                      r.max_y - r.min_y + 1};
        }
    }
    parallel_rows(job.h, [&](int y) {
        short* row = work.row(static_cast<std::size_t>(y));
        std::size_t x = 0;
        labels.for_each_run(
            static_cast<std::size_t>(y), [&](std::size_t x0, std::size_t x1, std::int32_t k) {
                std::fill(row + x, row + x0, short{0});
                std::fill(row + x0, row + x1, new_label[static_cast<std::size_t>(k)]);
                x = x1;
            });
        std::fill(row + x, row + work.width, short{0});
    });
    store_plane(work, 0, 0, job.w, job.h, job.destination, job.dx, job.dy);
    return count;
}

void label_to_mask(const AreaJob& job, const std::uint8_t* selected) {
    int sx = job.sx, sy = job.sy, dx = job.dx, dy = job.dy, w = job.w, h = job.h;
    clip_region_pair(sx, sy, dx, dy, w, h, job.source.max_w, job.source.max_h,
                     job.destination.max_w, job.destination.max_h);
    if (w < 1 || h < 1) return;
    // Overlapping regions of one buffer at different places would read
    // pixels already written by other rows; read from a copy then.
    const bool same_place = sx == dx && sy == dy;
    std::vector<short> copy;
    if (job.source.pixels == job.destination.pixels && !same_place) {
        copy.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
        for (int i = 0; i < h; ++i)
            for (int j = 0; j < w; ++j)
                copy[static_cast<std::size_t>(i) * w + j] = job.source.row(sy + i)[sx + j].y;
    }
    parallel_rows(h, [&](int i) {
        const PIXEL_YC* in = job.source.row(sy + i) + sx;
        const short* in_copy =
            copy.empty() ? nullptr : copy.data() + static_cast<std::size_t>(i) * w;
        PIXEL_YC* out = job.destination.row(dy + i) + dx;
        for (int j = 0; j < w; ++j) {
            const int y = in_copy != nullptr ? in_copy[j] : in[j].y;
            out[j].y = selected[y + 32768] != 0 ? 4096 : 0;
            out[j].cb = 0;
            out[j].cr = 0;
        }
    });
}

void remove_holes(const AreaJob& job) {
    const toolkit::plane_view work = copy_region_in(job);
    toolkit::strip_labeling& labels = toolkit::thread_strip_labeling();
    // The background (y == 0) under 4-connectivity; the largest region, the
    // first met among equals, stays 0.
    const std::size_t n =
        labels.run(work.data, work.stride, work.width, work.height, toolkit::foreground_cells::zero,
                   false, 2147483647u, true, static_cast<std::uint32_t>(pool::worker_count()));
    std::size_t largest = 1;
    for (std::size_t k = 2; k <= n; ++k)
        if (labels.measure(k).area > labels.measure(largest).area) largest = k;
    const auto keep = static_cast<std::int32_t>(largest);
    parallel_rows(job.h, [&](int y) {
        short* row = work.row(static_cast<std::size_t>(y));
        std::fill(row, row + work.width, short{4096});
        labels.for_each_run(static_cast<std::size_t>(y),
                            [&](std::size_t x0, std::size_t x1, std::int32_t k) {
                                if (k == keep) std::fill(row + x0, row + x1, short{0});
                            });
    });
    store_plane(work, 0, 0, job.w, job.h, job.destination, job.dx, job.dy);
}
