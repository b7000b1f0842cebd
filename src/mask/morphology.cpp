#include "mask/morphology.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "buffers/numeric.h"
#include "buffers/region.h"
#include "buffers/rows.h"
#include "buffers/work_plane.h"

namespace {

// A half-open rectangle [x0, x1) x [y0, y1) of the work area.
struct Rect {
    long long x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    long long w() const { return x1 - x0; }
    long long h() const { return y1 - y0; }
    bool empty() const { return x0 >= x1 || y0 >= y1; }
};

Rect intersect(const Rect& a, const Rect& b) {
    return {std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}

Rect bounding(const Rect& a, const Rect& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}

// The cells whose window (the element's bounding box) reaches into `r`.
Rect reach(const Rect& r, const mist::morphology_runs& e) {
    return {r.x0 + e.min_x(), r.y0 + e.min_y(), r.x1 + e.max_x(), r.y1 + e.max_y()};
}

// The positions u in [0, length) whose source coordinate start + u the
// mirrored border maps into the buffer, as up to two spans [lo, hi).  With
// a picture of L and a buffer of M pixels the mapped coordinates are
// [-M, -1] (mirrored before the edge), [0, min(L, M) - 1], and
// [max(L, 2L - 1 - M), 2L - 2] (mirrored about the last pixel); they form
// one span unless the picture is wider than the buffer.
struct Spans {
    long long lo[2], hi[2];
    int count = 0;
};

Spans mapped_spans(long long start, long long length, long long L, long long M) {
    long long lo[2] = {-M, std::max(L, 2 * L - 1 - M)};
    long long hi[2] = {std::min(L, M), 2 * L - 1};  // exclusive
    if (hi[0] >= lo[1]) {                           // touching or overlapping: one span
        hi[0] = std::max(hi[0], hi[1]);
        lo[1] = hi[1] = 0;
    }
    Spans s;
    for (int k = 0; k < 2; ++k) {
        const long long a = std::max(lo[k] - start, 0LL), b = std::min(hi[k] - start, length);
        if (a < b) {
            s.lo[s.count] = a;
            s.hi[s.count] = b;
            ++s.count;
        }
    }
    return s;
}

// Buffers kept from call to call: grown when a call needs more, never shrunk.
struct WorkBuffers {
    std::vector<short> source, result;
};

WorkBuffers& work_buffers() {
    static thread_local WorkBuffers buffers;
    return buffers;
}

// A w x h plane in `storage`, each row with `margin` cells holding `fill`
// on both sides.
mist::plane_view view_in(std::vector<short>& storage, long long w, long long h,
                         std::size_t margin = 0, short fill = 0) {
    if (w <= 0 || h <= 0) w = h = 0;
    const std::size_t stride = static_cast<std::size_t>(w) + 2 * margin;
    const std::size_t count = stride * static_cast<std::size_t>(h);
    if (storage.size() < count) storage.resize(count);
    for (std::size_t y = 0; margin > 0 && y < static_cast<std::size_t>(h); ++y) {
        short* row = storage.data() + y * stride;
        std::fill(row, row + margin, fill);
        std::fill(row + margin + w, row + stride, fill);
    }
    return {storage.data() + margin, static_cast<std::size_t>(w), static_cast<std::size_t>(h),
            static_cast<std::ptrdiff_t>(stride)};
}

// Where the work area's cells come from: work cell (u, k) reads source pixel
// (origin_x + u, origin_y + k), mirrored at the picture's edges.
struct WorkArea {
    const AreaJob* job;
    long long origin_x, origin_y;
    Spans cols, rows;  // the mapped columns and rows
    Rect mapped;       // their bounding box
};

// Loads the cells of `r` into `plane`; cells that map nowhere become 0.
void load(const WorkArea& a, const Rect& r, const mist::plane_view& plane) {
    if (plane.width == 0 || plane.height == 0) return;
    // Unmapped cells would keep what the buffer held: clear them first.  The
    // mapped columns of r: none, one span [c0, c1), or two with a gap.
    int spans = 0;
    long long c0 = 0, c1 = 0;
    for (int k = 0; k < a.cols.count; ++k) {
        const long long lo = std::max(a.cols.lo[k], r.x0), hi = std::min(a.cols.hi[k], r.x1);
        if (lo < hi) ++spans, c0 = lo, c1 = hi;
    }
    auto mapped_row = [&](long long v) {
        for (int k = 0; k < a.rows.count; ++k)
            if (v >= a.rows.lo[k] && v < a.rows.hi[k]) return true;
        return false;
    };
    parallel_rows(static_cast<int>(plane.height), [&](int k) {
        short* row = plane.row(static_cast<std::size_t>(k));
        if (spans != 1 || !mapped_row(r.y0 + k)) {
            std::fill(row, row + plane.width, short{0});
            return;
        }
        std::fill(row, row + (c0 - r.x0), short{0});
        std::fill(row + (c1 - r.x0), row + plane.width, short{0});
    });
    const AreaJob& j = *a.job;
    load_plane(
        {j.source, j.picture_w, j.picture_h, a.origin_x + r.x0, a.origin_y + r.y0, Border::mirror},
        plane);
}

// Outputs whose window leaves the mapped rectangle C (every window of a
// table stays inside the work area) see a 0 there: out = extreme(out, 0)
// for every output p with p + bounding box not inside C.
void merge_outside_zeros(const mist::plane_view& out, const Rect& o, const Rect& c,
                         const mist::morphology_runs& e, bool erode) {
    // Outputs p whose whole window lies inside C.
    const Rect inside =
        intersect(o, {c.x0 - e.min_x(), c.y0 - e.min_y(), c.x1 - e.max_x(), c.y1 - e.max_y()});
    auto merge = [erode](short* p, short* end) {
        for (; p < end; ++p) *p = erode ? std::min<short>(*p, 0) : std::max<short>(*p, 0);
    };
    parallel_rows(static_cast<int>(out.height), [&](int i) {
        short* row = out.row(static_cast<std::size_t>(i));
        const long long y = o.y0 + i;
        if (inside.empty() || y < inside.y0 || y >= inside.y1) {
            merge(row, row + o.w());
            return;
        }
        merge(row, row + (inside.x0 - o.x0));
        merge(row + (inside.x1 - o.x0), row + o.w());
    });
}

}  // namespace

bool MorphologyElement::has_points() const {
    if (runs != nullptr) return !runs->empty();
    if (!is_table) return radius >= 0;
    const long long count = static_cast<long long>(rows) * cols;
    for (long long i = 0; i < count; ++i)
        if (trunc_to_int(cells[i]) != 0) return true;
    return false;
}

int MorphologyElement::extension_x() const {
    return static_cast<int>(((is_table ? static_cast<long long>(cols) : radius) + 1) / 2);
}

int MorphologyElement::extension_y() const {
    return static_cast<int>(((is_table ? static_cast<long long>(rows) : radius) + 1) / 2);
}

mist::morphology_runs make_morphology_runs(const MorphologyElement& element) {
    try {
        if (element.runs != nullptr) return *element.runs;
        if (!element.is_table) return mist::circle_runs(element.radius);
        mist::array2<int> cells(static_cast<std::size_t>(element.cols),
                                static_cast<std::size_t>(element.rows));
        if (cells.empty()) throw std::length_error("too many cells");
        for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = trunc_to_int(element.cells[i]);
        return mist::table_runs(cells);
    } catch (const std::length_error&) {
        const std::string shape = element.is_table
                                      ? "table of " + std::to_string(element.cols) + " x " +
                                            std::to_string(element.rows) + " cells"
                                      : "radius " + std::to_string(element.radius);
        throw std::length_error("structuring element too large (" + shape + ")");
    }
}

bool two_pass_allowed(const mist::morphology_runs& runs, int max_w, int max_h) {
    return -static_cast<long long>(runs.min_x()) <= max_w && runs.max_x() <= max_w &&
           -static_cast<long long>(runs.min_y()) <= max_h && runs.max_y() <= max_h;
}

void morphology_region(const AreaJob& job, const MorphologyElement& element, MorphologyOp op,
                       std::uint32_t threads) {
    mist::morphology_runs runs = make_morphology_runs(element);
    // An element without points changes nothing: the region's y is copied.
    if (runs.empty()) runs.add(0, 0, 0);
    const bool two_passes = op == MorphologyOp::open || op == MorphologyOp::close;
    if (two_passes && !two_pass_allowed(runs, job.source.max_w, job.source.max_h))
        throw std::length_error("structuring element reaches farther than the buffer (at most " +
                                std::to_string(job.source.max_w) + " x " +
                                std::to_string(job.source.max_h) + " for open and close)");
    const long long ex = element.extension_x(), ey = element.extension_y();
    const long long work_w = job.w + 2 * ex, work_h = job.h + 2 * ey;
    if (work_w > 0x7FFFFFFF || work_h > 0x7FFFFFFF ||
        mist::array2<short>::checked_count(static_cast<std::size_t>(work_w),
                                           static_cast<std::size_t>(work_h)) >
            mist::array2<short>::max_size)
        throw std::length_error("work area too large (" + std::to_string(work_w) + " x " +
                                std::to_string(work_h) + " pixels)");

    // The outputs: the region's pixels whose destination lies in the buffer.
    int ox = 0, oy = 0, dx = job.dx, dy = job.dy, ow = job.w, oh = job.h;
    clip_region_pair(ox, oy, dx, dy, ow, oh, job.w, job.h, job.destination.max_w,
                     job.destination.max_h);
    if (ow < 1 || oh < 1) return;
    const Rect out_rect{ex + ox, ey + oy, ex + ox + ow, ey + oy + oh};
    const Rect whole{0, 0, work_w, work_h};

    WorkArea area{
        &job,
        static_cast<long long>(job.sx) - ex,
        static_cast<long long>(job.sy) - ey,
        mapped_spans(static_cast<long long>(job.sx) - ex, work_w, job.picture_w, job.source.max_w),
        mapped_spans(static_cast<long long>(job.sy) - ey, work_h, job.picture_h, job.source.max_h),
        {}};
    if (area.cols.count > 0 && area.rows.count > 0)
        area.mapped = {area.cols.lo[0], area.rows.lo[0], area.cols.hi[area.cols.count - 1],
                       area.rows.hi[area.rows.count - 1]};

    WorkBuffers& buffers = work_buffers();
    const mist::plane_view out = view_in(buffers.result, ow, oh);
    const bool erode_first = op == MorphologyOp::erode || op == MorphologyOp::open;
    const short neutral = erode_first ? mist::morphology_detail::erosion_fill
                                      : mist::morphology_detail::dilation_fill;
    if (!two_passes) {
        Rect in_rect;
        if (!element.is_table) {
            // A disc holds, with any cell, the row through its centre up to
            // that cell's column and the column through its centre: a window
            // that meets a 0 outside C also meets one next to C, or its centre
            // lies outside C.  Cells farther out add nothing.
            const Rect grown{area.mapped.x0 - 1, area.mapped.y0 - 1, area.mapped.x1 + 1,
                             area.mapped.y1 + 1};
            in_rect = intersect(intersect(whole, reach(out_rect, runs)),
                                bounding(area.mapped.empty() ? Rect{} : grown, out_rect));
        } else {
            // A table's window never leaves the work area: the cells beyond C
            // matter only as "some 0 is under the window", merged afterwards.
            in_rect = intersect(area.mapped, reach(out_rect, runs));
        }
        const long long ox = out_rect.x0 - in_rect.x0, oy = out_rect.y0 - in_rect.y0;
        const std::size_t margin =
            mist::morphology_margin(runs, in_rect.w(), in_rect.h(), ox, oy, out.width, out.height);
        const mist::plane_view in =
            view_in(buffers.source, in_rect.w(), in_rect.h(), margin, neutral);
        load(area, in_rect, in);
        mist::morphology_pass(in, ox, oy, out, runs, erode_first, threads, margin);
        if (element.is_table) merge_outside_zeros(out, out_rect, area.mapped, runs, erode_first);
    } else {
        // The first pass over every cell the second one reads.
        const Rect mid = intersect(whole, reach(out_rect, runs));
        const Rect in_rect = intersect(whole, reach(mid, runs));
        const long long mx = mid.x0 - in_rect.x0, my = mid.y0 - in_rect.y0;
        const std::size_t margin =
            mist::morphology_margin(runs, in_rect.w(), in_rect.h(), mx, my,
                                    static_cast<std::size_t>(std::max(mid.w(), 0LL)),
                                    static_cast<std::size_t>(std::max(mid.h(), 0LL)));
        const mist::plane_view in =
            view_in(buffers.source, in_rect.w(), in_rect.h(), margin, neutral);
        load(area, in_rect, in);
        mist::morphology_two_passes(
            in, margin, mx, my, static_cast<std::size_t>(std::max(mid.w(), 0LL)),
            static_cast<std::size_t>(std::max(mid.h(), 0LL)), out_rect.x0 - mid.x0,
            out_rect.y0 - mid.y0, out, runs, erode_first, threads);
    }
    store_plane(out, 0, 0, ow, oh, job.destination, dx, dy);
}
