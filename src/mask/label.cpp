#include "mask/label.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "buffers/rows.h"
#include "buffers/region.h"
#include "buffers/work_plane.h"
#include "toolkit/labeling.h"

namespace {

// Per-label statistics while the label image is measured.
struct Record {
    std::int32_t label;
    std::int32_t area;
    std::int32_t min_x, max_x, min_y, max_y;
};

// A w x h work array holding the y of the source region; cells whose source
// pixel lies outside the buffer stay 0.
mist::array2<short> copy_region_in(const LabelJob& job) {
    mist::array2<short> work(static_cast<std::size_t>(job.w), static_cast<std::size_t>(job.h));
    if (work.empty()) throw std::length_error("work area too large");
    load_plane({job.source, 0, 0, job.sx, job.sy, Border::buffer}, work);
    return work;
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

std::int32_t label_region(const LabelJob& job, bool eight_connected, const ComponentLimits& limits,
                          ComponentInfo* out) {
    mist::array2<short> work = copy_region_in(job);
    const std::size_t n = eight_connected ? mist::labeling8(work) : mist::labeling4(work);

    std::vector<Record> records(n + 1);
    for (std::size_t v = 0; v <= n; ++v)
        records[v] = {static_cast<std::int32_t>(v), 0, 2147483647, -1, 2147483647, -1};
    for (int y = 0; y < job.h; ++y) {
        const short* row = work.row(static_cast<std::size_t>(y));
        for (int x = 0; x < job.w; ++x) {
            Record& r = records[static_cast<std::size_t>(row[x])];
            ++r.area;
            r.min_x = std::min(r.min_x, x);
            r.max_x = std::max(r.max_x, x);
            r.min_y = std::min(r.min_y, y);
            r.max_y = std::max(r.max_y, y);
        }
    }
    records[0].area = 0;

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
        // new_label[v]: the number now carried by the component labelled v.
        std::vector<short> new_label(n + 1, 0);
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
        parallel_rows(job.h, [&](int y) {
            short* row = work.row(static_cast<std::size_t>(y));
            for (int x = 0; x < job.w; ++x) row[x] = new_label[static_cast<std::size_t>(row[x])];
        });
    }
    store_plane(work, 0, 0, job.w, job.h, job.destination, job.dx, job.dy);
    return count;
}

void label_to_mask(const LabelJob& job, const std::uint8_t* selected) {
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
        const short* in_copy = copy.empty() ? nullptr : copy.data() + static_cast<std::size_t>(i) * w;
        PIXEL_YC* out = job.destination.row(dy + i) + dx;
        for (int j = 0; j < w; ++j) {
            const int y = in_copy != nullptr ? in_copy[j] : in[j].y;
            out[j].y = selected[y + 32768] != 0 ? 4096 : 0;
            out[j].cb = 0;
            out[j].cr = 0;
        }
    });
}

void remove_holes(const LabelJob& job) {
    mist::array2<short> work = copy_region_in(job);
    mist::fill_holes(work);
    parallel_rows(job.h, [&](int y) {
        short* row = work.row(static_cast<std::size_t>(y));
        for (int x = 0; x < job.w; ++x)
            if (row[x] > 0) row[x] = 4096;
    });
    store_plane(work, 0, 0, job.w, job.h, job.destination, job.dx, job.dy);
}
