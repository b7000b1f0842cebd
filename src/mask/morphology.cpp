#include "mask/morphology.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "buffers/numeric.h"
#include "buffers/region.h"
#include "buffers/rows.h"
#include "buffers/work_plane.h"
#include "toolkit/border.h"

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
Rect reach(const Rect& r, const toolkit::morphology_runs& e) {
    return {r.x0 + e.min_x(), r.y0 + e.min_y(), r.x1 + e.max_x(), r.y1 + e.max_y()};
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
toolkit::plane_view view_in(std::vector<short>& storage, long long w, long long h,
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
    toolkit::mirror_spans cols, rows;  // the mapped columns and rows
    Rect mapped;                       // their bounding box
};

// Loads the cells of `r` into `plane`; cells that map nowhere become 0.
void load(const WorkArea& a, const Rect& r, const toolkit::plane_view& plane) {
    if (plane.width == 0 || plane.height == 0) return;
    // Unmapped cells would keep what the buffer held: clear them first.  The
    // mapped columns of r: none, one span [c0, c1), or two with a gap.
    int spans = 0;
    long long c0 = 0, c1 = 0;
    for (int k = 0; k < a.cols.count; ++k) {
        const long long lo = std::max(a.cols.span[k].begin, r.x0),
                        hi = std::min(a.cols.span[k].end, r.x1);
        if (lo < hi) ++spans, c0 = lo, c1 = hi;
    }
    auto mapped_row = [&](long long v) {
        for (int k = 0; k < a.rows.count; ++k)
            if (v >= a.rows.span[k].begin && v < a.rows.span[k].end) return true;
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
    load_plane({j.source, j.picture_w, j.picture_h, a.origin_x + r.x0, a.origin_y + r.y0,
                toolkit::border_rule::mirror},
               plane);
}

// Outputs whose window leaves the mapped rectangle C (every window of a
// table stays inside the work area) see a 0 there: out = extreme(out, 0)
// for every output p with p + bounding box not inside C.
void merge_outside_zeros(const toolkit::plane_view& out, const Rect& o, const Rect& c,
                         const toolkit::morphology_runs& e, bool erode) {
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

toolkit::morphology_runs make_morphology_runs(const MorphologyElement& element) {
    try {
        if (element.runs != nullptr) return *element.runs;
        if (!element.is_table) return toolkit::circle_runs(element.radius);
        toolkit::grid<int> cells(static_cast<std::size_t>(element.cols),
                                 static_cast<std::size_t>(element.rows));
        if (cells.empty()) throw std::length_error("too many cells");
        for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = trunc_to_int(element.cells[i]);
        return toolkit::table_runs(cells);
    } catch (const std::length_error&) {
        const std::string shape = element.is_table
                                      ? "table of " + std::to_string(element.cols) + " x " +
                                            std::to_string(element.rows) + " cells"
                                      : "radius " + std::to_string(element.radius);
        throw std::length_error("structuring element too large (" + shape + ")");
    }
}

bool two_pass_allowed(const toolkit::morphology_runs& runs, int max_w, int max_h) {
    return -static_cast<long long>(runs.min_x()) <= max_w && runs.max_x() <= max_w &&
           -static_cast<long long>(runs.min_y()) <= max_h && runs.max_y() <= max_h;
}

void morphology_region(const AreaJob& job, const MorphologyElement& element, MorphologyOp op,
                       std::uint32_t threads) {
    toolkit::morphology_runs runs = make_morphology_runs(element);
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
        toolkit::grid<short>::checked_count(static_cast<std::size_t>(work_w),
                                            static_cast<std::size_t>(work_h)) >
            toolkit::grid<short>::kMaxCount)
        throw std::length_error("work area too large (" + std::to_string(work_w) + " x " +
                                std::to_string(work_h) + " pixels)");

    // The outputs: the region's pixels whose destination lies in the buffer.
    int ox = 0, oy = 0, dx = job.dx, dy = job.dy, ow = job.w, oh = job.h;
    clip_region_pair(ox, oy, dx, dy, ow, oh, job.w, job.h, job.destination.max_w,
                     job.destination.max_h);
    if (ow < 1 || oh < 1) return;
    const Rect out_rect{ex + ox, ey + oy, ex + ox + ow, ey + oy + oh};
    const Rect whole{0, 0, work_w, work_h};

    WorkArea area{&job,
                  static_cast<long long>(job.sx) - ex,
                  static_cast<long long>(job.sy) - ey,
                  toolkit::mirrored_into(static_cast<long long>(job.sx) - ex, work_w, job.picture_w,
                                         job.source.max_w),
                  toolkit::mirrored_into(static_cast<long long>(job.sy) - ey, work_h, job.picture_h,
                                         job.source.max_h),
                  {}};
    if (area.cols.count > 0 && area.rows.count > 0)
        area.mapped = {area.cols.span[0].begin, area.rows.span[0].begin,
                       area.cols.span[area.cols.count - 1].end,
                       area.rows.span[area.rows.count - 1].end};

    WorkBuffers& buffers = work_buffers();
    const toolkit::plane_view out = view_in(buffers.result, ow, oh);
    const bool erode_first = op == MorphologyOp::erode || op == MorphologyOp::open;
    const short neutral = erode_first ? toolkit::morphology_detail::kErosionFill
                                      : toolkit::morphology_detail::kDilationFill;
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
        const std::size_t margin = toolkit::morphology_margin(runs, in_rect.w(), in_rect.h(), ox,
                                                              oy, out.width, out.height);
        const toolkit::plane_view in =
            view_in(buffers.source, in_rect.w(), in_rect.h(), margin, neutral);
        load(area, in_rect, in);
        toolkit::morphology_pass(in, ox, oy, out, runs, erode_first, threads, margin);
        if (element.is_table) merge_outside_zeros(out, out_rect, area.mapped, runs, erode_first);
    } else {
        // The first pass over every cell the second one reads.
        const Rect mid = intersect(whole, reach(out_rect, runs));
        const Rect in_rect = intersect(whole, reach(mid, runs));
        const long long mx = mid.x0 - in_rect.x0, my = mid.y0 - in_rect.y0;
        const std::size_t margin =
            toolkit::morphology_margin(runs, in_rect.w(), in_rect.h(), mx, my,
                                       static_cast<std::size_t>(std::max(mid.w(), 0LL)),
                                       static_cast<std::size_t>(std::max(mid.h(), 0LL)));
        const toolkit::plane_view in =
            view_in(buffers.source, in_rect.w(), in_rect.h(), margin, neutral);
        load(area, in_rect, in);
        toolkit::morphology_two_passes(
            in, margin, mx, my, static_cast<std::size_t>(std::max(mid.w(), 0LL)),
            static_cast<std::size_t>(std::max(mid.h(), 0LL)), out_rect.x0 - mid.x0,
            out_rect.y0 - mid.y0, out, runs, erode_first, threads);
    }
    store_plane(out, 0, 0, ow, oh, job.destination, dx, dy);
}
