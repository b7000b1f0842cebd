// The morphology pass: the extreme of a 16-bit plane over a run-form element.
//
// Every source row is first given a level 0: the row itself (with the
// neutral cells the caller keeps beside it, if any), or a copy with neutral
// cells where the windows reach beyond the plane.  Level k, built in place
// from level k - 1, holds at t the extreme of the cells t .. t + 2^k - 1 of
// level 0, so a run of length L is the extreme of two reads of level
// floor(log2 L), overlapping in the middle.
//
// Output rows are cut into chunks that the range call hands out, and a chunk
// is computed in one of two orders:
//  - row by row (the usual case): the source rows under the element are
//    kept in a ring, each with the extreme over every distinct long run of
//    the element computed once; an output row is then one pass that takes
//    the extreme of a few ring rows (and of short runs read straight from
//    level 0), holding it in registers.  When every element row reads the
//    same (rectangles), two output rows are made at once and share the rows
//    between them.  An opening or closing chains two such passes: the first
//    pass's rows go into a second small ring that the second pass reads, so
//    the intermediate plane never exists as a whole;
//  - source by source (elements whose ring would not fit in a few
//    megabytes): each source row's levels are built once and each run is
//    merged into the output row it belongs to.
// Both are exact integer min/max, so the result does not depend on the
// order, the chunks or the number of threads.  Both look at the work
// deadline once a row and stop when it has passed.  The row loops are vector code
// compiled for each instruction set and chosen at run time (Highway).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "toolkit/morphology.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#ifndef QUORVEL_TOOLKIT_MORPHOLOGY_PLAN
#define QUORVEL_TOOLKIT_MORPHOLOGY_PLAN

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/thread_pool.h"
#include "platform/work_deadline.h"
#include "toolkit/border.h"
#include "toolkit/filter_call.h"
#include "toolkit/morphology.h"

namespace mist::morphology_detail {

// Runs up to this length are read cell by cell from level 0 when an output
// row is combined; longer ones once per source row into the ring.
constexpr std::int64_t direct_run = 3;

// The most cells a worker's ring may hold before the source-by-source order
// (or, for two passes, two separate passes) is used instead.
constexpr std::size_t ring_budget = std::size_t{4} << 20;

// The tallest rectangle whose output rows are made two at a time.
constexpr std::size_t pair_height = 8;

// One run of the clipped element, read from one level: the level positions
// of its two reads for output column 0 (equal when the run's length is a
// power of two).
struct level_read {
    std::int32_t dy;
    std::int64_t first, second;
};

// What one element row adds to an output row, in the row-by-row order: a
// cell of level 0 (ring < 0, at `offset`) or a ring row (ring >= 0).
struct row_read {
    std::int32_t ring;
    std::int64_t offset;
};

// A ring row: a long run computed by cells of level 0 (`level` 0) or from
// the two reads of a level; or (`level` -1) the whole row of a uniform
// element, the extreme of `whole_row`.
struct ring_run {
    int level;
    std::int64_t first, second, length;
};

// One pass over a source plane of in_w x in_h into output rows of out_w
// cells; shared read-only by the workers.
struct pass_plan {
    plane_view in;  // the source plane (not set when a first pass feeds this one)
    long long in_w = 0, in_h = 0;
    std::size_t out_w = 0, out_h = 0;
    long long origin_x = 0, origin_y = 0;
    long long level_x = 0;          // the source column of level cell 0
    std::size_t level_size = 0;     // cells of level 0
    line_span on_plane;             // level cells that lie on the plane (a neutral border)
    std::size_t margin_needed = 0;  // neutral cells beside a row that make level 0 the row itself
    bool level_in_place = false;    // the source rows have them
    std::int32_t dy_lo = 0, dy_hi = 0;  // the rows of the clipped element
    bool by_rows = false;

    // Source by source: reads by level, each by dy.
    std::vector<std::vector<level_read>> levels;

    // Row by row: per element row (dy - dy_lo) its reads, and the ring rows.
    std::vector<std::vector<row_read>> rows;
    std::vector<ring_run> ring_runs;

    // Every element row reads the same (a rectangle, or any table whose
    // rows are all alike): each source row's extreme is one ring row or
    // level-0 read (`uniform_ring`, `uniform_offset`), and two output rows at
    // a time share the extreme of the rows between their first and last.
    bool uniform = false;
    std::int32_t uniform_ring = -1;
    std::int64_t uniform_offset = 0;
    std::vector<row_read> whole_row;

    // Source rows read where they are for the columns [inner_lo, inner_hi),
    // whose windows lie on the plane; the others taken point by point over
    // `clipped`, the element's runs.
    bool ends_by_points = false;
    std::size_t inner_lo = 0, inner_hi = 0;
    std::vector<morphology_run> clipped;
};

// A job of one pass, or of two chained through a ring of first-pass rows.
struct pass_job {
    const pass_plan* first = nullptr;
    const pass_plan* second = nullptr;  // null for one pass
    plane_view out;
    std::size_t mid_margin = 0;  // neutral cells beside each ring row of the first pass
};

// The buffers of one pass in a worker.
struct stage_scratch {
    std::vector<short> level;
    std::vector<short> ring;
    std::vector<const short*> ring_row0;
    std::vector<const short*> ring_source;
    std::vector<const short*> reads;
};

// A worker's buffers, kept from call to call.
struct chunk_scratch {
    stage_scratch first, second;
    std::vector<short> mid;
    std::vector<std::uint8_t> touched;
};

}  // namespace mist::morphology_detail

#endif  // QUORVEL_TOOLKIT_MORPHOLOGY_PLAN

HWY_BEFORE_NAMESPACE();
namespace mist::morphology_detail {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;
using D16 = hn::ScalableTag<std::int16_t>;

template <bool Erode, class V>
HWY_INLINE V Ext(V a, V b) {
    if constexpr (Erode)
        return hn::Min(a, b);
    else
        return hn::Max(a, b);
}

template <bool Erode>
HWY_INLINE short ext1(short a, short b) {
    if constexpr (Erode)
        return a < b ? a : b;
    else
        return a > b ? a : b;
}

// buf[t] = ext(buf[t], buf[t + step]) for t < n, in place: each step loads
// both operands before it stores, and later steps read only cells at or
// beyond their own start, which no earlier step has written.
template <bool Erode>
HWY_INLINE void level_up(short* buf, std::size_t n, std::size_t step) {
    const D16 d;
    const std::size_t N = hn::Lanes(d);
    std::size_t t = 0;
    for (; t + N <= n; t += N) {
        const auto a = hn::LoadU(d, buf + t);
        const auto b = hn::LoadU(d, buf + t + step);
        hn::StoreU(Ext<Erode>(a, b), d, buf + t);
    }
    for (; t < n; ++t) buf[t] = ext1<Erode>(buf[t], buf[t + step]);
}

// dst[x] = the extreme of src[i][x] over i < M, for x < n, with the reads
// known at compile time.
template <bool Erode, std::size_t M>
HWY_INLINE void combine_fixed(const short* const* src, short* dst, std::size_t n) {
    const D16 d;
    const std::size_t N = hn::Lanes(d);
    const short* p[M];
    for (std::size_t i = 0; i < M; ++i) p[i] = src[i];
    std::size_t x = 0;
    for (; x + 2 * N <= n; x += 2 * N) {
        auto a = hn::LoadU(d, p[0] + x);
        auto b = hn::LoadU(d, p[0] + x + N);
        for (std::size_t i = 1; i < M; ++i) {
            a = Ext<Erode>(a, hn::LoadU(d, p[i] + x));
            b = Ext<Erode>(b, hn::LoadU(d, p[i] + x + N));
        }
        hn::StoreU(a, d, dst + x);
        hn::StoreU(b, d, dst + x + N);
    }
    for (; x < n; ++x) {
        short v = p[0][x];
        for (std::size_t i = 1; i < M; ++i) v = ext1<Erode>(v, p[i][x]);
        dst[x] = v;
    }
}

// The same for any count m >= 1: eight reads at a time.
template <bool Erode>
HWY_INLINE void combine(const short* const* src, std::size_t m, short* dst, std::size_t n) {
    switch (m) {
        case 1:
            std::memcpy(dst, src[0], n * sizeof(short));
            return;
        case 2:
            combine_fixed<Erode, 2>(src, dst, n);
            return;
        case 3:
            combine_fixed<Erode, 3>(src, dst, n);
            return;
        case 4:
            combine_fixed<Erode, 4>(src, dst, n);
            return;
        case 5:
            combine_fixed<Erode, 5>(src, dst, n);
            return;
        case 6:
            combine_fixed<Erode, 6>(src, dst, n);
            return;
        case 7:
            combine_fixed<Erode, 7>(src, dst, n);
            return;
        default:
            break;
    }
    combine_fixed<Erode, 8>(src, dst, n);
    std::size_t i = 8;
    for (; i + 7 <= m; i += 7) {
        const short* more[8] = {dst,        src[i],     src[i + 1], src[i + 2],
                                src[i + 3], src[i + 4], src[i + 5], src[i + 6]};
        combine_fixed<Erode, 8>(more, dst, n);
    }
    for (; i + 3 <= m; i += 3) {
        const short* more[4] = {dst, src[i], src[i + 1], src[i + 2]};
        combine_fixed<Erode, 4>(more, dst, n);
    }
    for (; i < m; ++i) {
        const short* more[2] = {dst, src[i]};
        combine_fixed<Erode, 2>(more, dst, n);
    }
}

// Two output rows of a uniform element: dst0 = ext(h[0 .. M-1]),
// dst1 = ext(h[1 .. M]), the M - 1 rows between computed once.
template <bool Erode, std::size_t M>
HWY_INLINE void combine_two_fixed(const short* const* h, short* dst0, short* dst1, std::size_t n) {
    const D16 d;
    const std::size_t N = hn::Lanes(d);
    const short* p[M + 1];
    for (std::size_t i = 0; i <= M; ++i) p[i] = h[i];
    // Ordinary stores: the rows are read again soon (the second pass, the
    // copy back into the frame), so they should stay in the cache.
    std::size_t x = 0;
    for (; x + N <= n; x += N) {
        auto shared = hn::LoadU(d, p[1] + x);
        for (std::size_t i = 2; i < M; ++i) shared = Ext<Erode>(shared, hn::LoadU(d, p[i] + x));
        hn::StoreU(Ext<Erode>(shared, hn::LoadU(d, p[0] + x)), d, dst0 + x);
        hn::StoreU(Ext<Erode>(shared, hn::LoadU(d, p[M] + x)), d, dst1 + x);
    }
    for (; x < n; ++x) {
        short shared = p[1][x];
        for (std::size_t i = 2; i < M; ++i) shared = ext1<Erode>(shared, p[i][x]);
        dst0[x] = ext1<Erode>(shared, p[0][x]);
        dst1[x] = ext1<Erode>(shared, p[M][x]);
    }
}

// The same for any height m: false (nothing done) beyond the heights with a
// fixed form.
template <bool Erode>
HWY_INLINE bool combine_two(const short* const* h, std::size_t m, short* dst0, short* dst1,
                            std::size_t n) {
    switch (m) {
        case 2:
            combine_two_fixed<Erode, 2>(h, dst0, dst1, n);
            return true;
        case 3:
            combine_two_fixed<Erode, 3>(h, dst0, dst1, n);
            return true;
        case 4:
            combine_two_fixed<Erode, 4>(h, dst0, dst1, n);
            return true;
        case 5:
            combine_two_fixed<Erode, 5>(h, dst0, dst1, n);
            return true;
        case 6:
            combine_two_fixed<Erode, 6>(h, dst0, dst1, n);
            return true;
        case 7:
            combine_two_fixed<Erode, 7>(h, dst0, dst1, n);
            return true;
        case 8:
            combine_two_fixed<Erode, 8>(h, dst0, dst1, n);
            return true;
        default:
            return false;
    }
}

// dst = ext(a, b), or ext(dst, a, b) when Into.
template <bool Erode, bool Into>
HWY_INLINE void merge_pair(const short* a, const short* b, short* dst, std::size_t n) {
    const D16 d;
    const std::size_t N = hn::Lanes(d);
    std::size_t t = 0;
    for (; t + N <= n; t += N) {
        auto v = Ext<Erode>(hn::LoadU(d, a + t), hn::LoadU(d, b + t));
        if constexpr (Into) v = Ext<Erode>(v, hn::LoadU(d, dst + t));
        hn::StoreU(v, d, dst + t);
    }
    for (; t < n; ++t) {
        short v = ext1<Erode>(a[t], b[t]);
        if constexpr (Into) v = ext1<Erode>(v, dst[t]);
        dst[t] = v;
    }
}

// dst = ext(dst, a).
template <bool Erode>
HWY_INLINE void merge_one(const short* a, short* dst, std::size_t n) {
    const D16 d;
    const std::size_t N = hn::Lanes(d);
    std::size_t t = 0;
    for (; t + N <= n; t += N)
        hn::StoreU(Ext<Erode>(hn::LoadU(d, a + t), hn::LoadU(d, dst + t)), d, dst + t);
    for (; t < n; ++t) dst[t] = ext1<Erode>(a[t], dst[t]);
}

template <bool Erode>
HWY_INLINE constexpr short neutral_of() {
    return Erode ? erosion_fill : dilation_fill;
}

// Level 0 of a source row: the row itself when it has the neutral cells the
// windows need beside it, otherwise `copy` filled with the row's cells on
// the plane and neutral ones elsewhere.
template <bool Erode>
HWY_INLINE const short* level_zero(const pass_plan& p, const short* row, short* copy) {
    if (p.level_in_place) return row + p.level_x;
    const long long n0 = static_cast<long long>(p.level_size);
    const long long lo = p.on_plane.begin, hi = p.on_plane.end;
    std::fill(copy, copy + lo, neutral_of<Erode>());
    std::memcpy(copy + lo, row + (p.level_x + lo),
                static_cast<std::size_t>(hi - lo) * sizeof(short));
    std::fill(copy + hi, copy + n0, neutral_of<Erode>());
    return copy;
}

// Source rows read from a plane.
struct plane_rows {
    const plane_view* in;
    const short* row(long long sy) { return in->row(static_cast<std::size_t>(sy)); }
};

// One pass, row by row, over the output rows of a chunk.  Source rows are
// asked of `Source` in increasing order; output rows go to the pointer the
// sink gives for each.
//
// Columns [inner_lo, inner_hi) of the output read only cells on the plane;
// the vector work covers them, and all level arithmetic is done relative to
// inner_lo.  When level 0 is not the row itself, either a padded copy is
// made (and the inner columns are all of them) or, when the element is
// small, the inner columns read the row where it is and the few columns at
// each end are taken point by point.
template <bool Erode, class Source>
class row_pass {
public:
    row_pass(const pass_plan& p, stage_scratch& s, Source& source) : p_(p), s_(s), source_(source) {
        height_ = static_cast<std::size_t>(p.dy_hi - p.dy_lo + 1);
        slots_ = height_ + (p.uniform ? 1 : 0);
        slot_cells_ = p.level_size + p.ring_runs.size() * p.out_w;
        if (s.ring.size() < slots_ * slot_cells_) s.ring.resize(slots_ * slot_cells_);
        if (s.level.size() < p.level_size) s.level.resize(p.level_size);
        s.ring_row0.assign(slots_, nullptr);
        s.ring_source.assign(slots_, nullptr);
        lo_ = p.ends_by_points ? p.inner_lo : 0;
        hi_ = p.ends_by_points ? p.inner_hi : p.out_w;
    }

    // Output rows [y0, y1) will be asked for, in order.
    void start(std::size_t y0, std::size_t y1) {
        next_ = y0;
        end_ = y1;
        prepared_ = std::max(0LL, p_.origin_y + static_cast<long long>(y0) + p_.dy_lo) - 1;
    }

    // Makes every output row up to `upto` not made yet.
    template <class Sink>
    void advance(long long upto, Sink&& sink) {
        const std::size_t n = hi_ - lo_;
        while (static_cast<long long>(next_) <= upto && next_ < end_) {
            // Out of time: the rows not made yet are not wanted.
            if (work_deadline::passed()) return;
            const std::size_t y = next_;
            const long long centre = p_.origin_y + static_cast<long long>(y);
            if (p_.uniform && y + 1 < end_ && static_cast<long long>(y) + 1 <= upto &&
                centre + p_.dy_lo >= 0 && centre + 1 + p_.dy_hi < p_.in_h && height_ >= 2 &&
                height_ <= pair_height) {
                // Two rows at once: the ring has a slot more than the
                // element's height, so the rows of both are held together.
                const long long top = centre + p_.dy_lo, bottom = centre + 1 + p_.dy_hi;
                prepare_to(top, bottom);
                const short* h[pair_height + 1];
                for (long long sy = top; sy <= bottom; ++sy) h[sy - top] = uniform_row(sy);
                short* first = sink(y);
                short* second = sink(y + 1);
                combine_two<Erode>(h, height_, first + lo_, second + lo_, n);
                ends(centre, first);
                ends(centre + 1, second);
                next_ += 2;
                continue;
            }
            const long long top = std::max(0LL, centre + p_.dy_lo);
            const long long bottom = std::min(p_.in_h - 1, centre + p_.dy_hi);
            prepare_to(top, bottom);
            s_.reads.clear();
            for (long long sy = top; sy <= bottom; ++sy) {
                const std::size_t slot = static_cast<std::size_t>(sy) % slots_;
                const short* row0 = s_.ring_row0[slot];
                const short* runs = s_.ring.data() + slot * slot_cells_ + p_.level_size + lo_;
                for (const row_read& r : p_.rows[static_cast<std::size_t>(sy - centre - p_.dy_lo)])
                    s_.reads.push_back(r.ring < 0
                                           ? row0 + r.offset
                                           : runs + static_cast<std::size_t>(r.ring) * p_.out_w);
            }
            short* dst = sink(y);
            if (s_.reads.empty())
                std::fill(dst + lo_, dst + hi_, neutral_of<Erode>());
            else
                combine<Erode>(s_.reads.data(), s_.reads.size(), dst + lo_, n);
            ends(centre, dst);
            ++next_;
        }
    }

private:
    void prepare_to(long long top, long long bottom) {
        for (long long sy = std::max(prepared_ + 1, top); sy <= bottom; ++sy) {
            prepare(sy);
            prepared_ = sy;
        }
    }

    const short* uniform_row(long long sy) const {
        const std::size_t slot = static_cast<std::size_t>(sy) % slots_;
        if (p_.uniform_ring < 0) return s_.ring_row0[slot] + p_.uniform_offset;
        return s_.ring.data() + slot * slot_cells_ + p_.level_size + lo_ +
               static_cast<std::size_t>(p_.uniform_ring) * p_.out_w;
    }

    // The output columns outside [lo_, hi_) of the row centred on source
    // row `centre`, point by point from the source rows in the ring.
    void ends(long long centre, short* dst) const {
        if (!p_.ends_by_points) return;
        auto one = [&](std::size_t x) {
            short v = neutral_of<Erode>();
            const long long base = p_.origin_x + static_cast<long long>(x);
            for (const morphology_run& r : p_.clipped) {
                const long long sy = centre + r.dy;
                if (sy < 0 || sy >= p_.in_h) continue;
                const short* row = s_.ring_source[static_cast<std::size_t>(sy) % slots_];
                const long long a = std::max<long long>(base + r.x0, 0);
                const long long b = std::min<long long>(base + r.x1, p_.in_w - 1);
                for (long long c = a; c <= b; ++c) v = ext1<Erode>(v, row[c]);
            }
            dst[x] = v;
        };
        for (std::size_t x = 0; x < lo_; ++x) one(x);
        for (std::size_t x = hi_; x < p_.out_w; ++x) one(x);
    }

    // Fills the ring slot of source row sy: its level 0 (from column lo_ on)
    // and its ring rows (columns lo_ .. hi_).
    void prepare(long long sy) {
        const std::size_t slot = static_cast<std::size_t>(sy) % slots_;
        short* base = s_.ring.data() + slot * slot_cells_;
        const short* source = source_.row(sy);
        s_.ring_source[slot] = source;
        const short* row0 = p_.ends_by_points ? source + (p_.level_x + static_cast<long long>(lo_))
                                              : level_zero<Erode>(p_, source, base);
        s_.ring_row0[slot] = row0;
        short* runs = base + p_.level_size + lo_;
        const std::size_t n = hi_ - lo_;
        // Level cells from lo_ that the columns lo_ .. hi_ read.
        const std::size_t cells_read = n + p_.level_size - p_.out_w;
        const short* level = row0;
        short* built_level = s_.level.data() + lo_;
        const short* cells[64];
        int built = 0;
        for (std::size_t r = 0; r < p_.ring_runs.size(); ++r) {
            const ring_run& run = p_.ring_runs[r];
            short* dst = runs + r * p_.out_w;
            if (run.level < 0) {
                std::size_t m = 0;
                for (const row_read& w : p_.whole_row)
                    cells[m++] = w.ring < 0 ? row0 + w.offset
                                            : runs + static_cast<std::size_t>(w.ring) * p_.out_w;
                combine<Erode>(cells, m, dst, n);
                continue;
            }
            if (run.level == 0) {
                const std::size_t m = static_cast<std::size_t>(run.length);
                if (m <= 64) {
                    for (std::size_t i = 0; i < m; ++i) cells[i] = row0 + run.first + i;
                    combine<Erode>(cells, m, dst, n);
                } else {
                    std::memcpy(dst, row0 + run.first, n * sizeof(short));
                    for (std::size_t i = 1; i < m; ++i)
                        merge_one<Erode>(row0 + run.first + i, dst, n);
                }
                continue;
            }
            while (built < run.level) {
                ++built;
                const std::size_t step = std::size_t{1} << (built - 1);
                const std::size_t count = cells_read - (2 * step - 1);
                if (built == 1) {
                    merge_pair<Erode, false>(row0, row0 + 1, built_level, count);
                    level = built_level;
                } else {
                    level_up<Erode>(built_level, count, step);
                }
            }
            merge_pair<Erode, false>(level + run.first, level + run.second, dst, n);
        }
    }

    const pass_plan& p_;
    stage_scratch& s_;
    Source& source_;
    std::size_t height_ = 0, slots_ = 0, slot_cells_ = 0;
    std::size_t lo_ = 0, hi_ = 0;
    std::size_t next_ = 0, end_ = 0;
    long long prepared_ = -1;
};

// Output rows [y0, y1) of one pass, source by source.
template <bool Erode>
void run_sources(const pass_plan& p, const plane_view& out, std::size_t y0, std::size_t y1,
                 chunk_scratch& s) {
    const std::size_t out_w = p.out_w;
    const long long n0 = static_cast<long long>(p.level_size);
    s.touched.assign(y1 - y0, 0);
    if (s.first.level.size() < 2 * p.level_size) s.first.level.resize(2 * p.level_size);
    short* copy = s.first.level.data() + p.level_size;
    short* level = s.first.level.data();

    const long long sy_lo = std::max(0LL, p.origin_y + static_cast<long long>(y0) + p.dy_lo);
    const long long sy_hi =
        std::min(p.in_h - 1, p.origin_y + static_cast<long long>(y1) - 1 + p.dy_hi);
    for (long long sy = sy_lo; sy <= sy_hi; ++sy) {
        if (work_deadline::passed()) return;  // out of time: the rows are not wanted
        // Output row y = rel - dy; only rows of this chunk.
        const long long rel = sy - p.origin_y;
        const long long dlo = std::max<long long>(p.dy_lo, rel - static_cast<long long>(y1 - 1));
        const long long dhi = std::min<long long>(p.dy_hi, rel - static_cast<long long>(y0));
        if (dlo > dhi) continue;
        const short* base = level_zero<Erode>(p, p.in.row(static_cast<std::size_t>(sy)), copy);
        for (std::size_t k = 0; k < p.levels.size(); ++k) {
            if (k == 1) {
                merge_pair<Erode, false>(base, base + 1, level, static_cast<std::size_t>(n0) - 1);
                base = level;
            } else if (k > 1) {
                const std::size_t step = std::size_t{1} << (k - 1);
                level_up<Erode>(level, static_cast<std::size_t>(n0) - (2 * step - 1), step);
            }
            const std::vector<level_read>& items = p.levels[k];
            auto it = std::lower_bound(items.begin(), items.end(), dlo,
                                       [](const level_read& a, long long v) { return a.dy < v; });
            for (; it != items.end() && it->dy <= dhi; ++it) {
                const std::size_t y = static_cast<std::size_t>(rel - it->dy);
                short* dst = out.row(y);
                const short* a = base + it->first;
                std::uint8_t& seen = s.touched[y - y0];
                if (it->first == it->second) {
                    if (seen)
                        merge_one<Erode>(a, dst, out_w);
                    else
                        std::memcpy(dst, a, out_w * sizeof(short));
                } else if (seen) {
                    merge_pair<Erode, true>(a, base + it->second, dst, out_w);
                } else {
                    merge_pair<Erode, false>(a, base + it->second, dst, out_w);
                }
                seen = 1;
            }
        }
    }
    // Rows whose window holds no cell of the plane.
    for (std::size_t y = y0; y < y1; ++y)
        if (!s.touched[y - y0]) std::fill(out.row(y), out.row(y) + out_w, neutral_of<Erode>());
}

// One pass over output rows [y0, y1).
template <bool Erode>
void run_one(const pass_job& j, std::size_t y0, std::size_t y1, chunk_scratch& s) {
    const pass_plan& p = *j.first;
    if (!p.by_rows) {
        run_sources<Erode>(p, j.out, y0, y1, s);
        return;
    }
    plane_rows source{&p.in};
    row_pass<Erode, plane_rows> pass(p, s.first, source);
    pass.start(y0, y1);
    pass.advance(static_cast<long long>(y1) - 1, [&](std::size_t y) { return j.out.row(y); });
}

// Two passes over output rows [y0, y1): the first pass's rows that these
// need are made in order into a ring, with the second pass's neutral cells
// beside each, and read from there.
template <bool FirstErodes>
void run_two(const pass_job& j, std::size_t y0, std::size_t y1, chunk_scratch& s) {
    const pass_plan& p1 = *j.first;
    const pass_plan& p2 = *j.second;
    const std::size_t margin = j.mid_margin;
    const std::size_t stride = p1.out_w + 2 * margin;
    const std::size_t slots =
        static_cast<std::size_t>(p2.dy_hi - p2.dy_lo + 1) + (p2.uniform ? 1 : 0) + 2;
    if (s.mid.size() < slots * stride) s.mid.resize(slots * stride);
    for (std::size_t k = 0; k < slots; ++k) {
        short* row = s.mid.data() + k * stride;
        std::fill(row, row + margin, neutral_of<!FirstErodes>());
        std::fill(row + margin + p1.out_w, row + stride, neutral_of<!FirstErodes>());
    }
    auto mid_row = [&](std::size_t v) { return s.mid.data() + (v % slots) * stride + margin; };

    plane_rows source{&p1.in};
    row_pass<FirstErodes, plane_rows> first(p1, s.first, source);
    const long long m0 = std::max(0LL, p2.origin_y + static_cast<long long>(y0) + p2.dy_lo);
    const long long m1 =
        std::min(p2.in_h - 1, p2.origin_y + static_cast<long long>(y1) - 1 + p2.dy_hi);
    if (m0 <= m1) first.start(static_cast<std::size_t>(m0), static_cast<std::size_t>(m1) + 1);
    struct first_rows {
        row_pass<FirstErodes, plane_rows>* pass;
        decltype(mid_row)* at;
        const short* row(long long v) {
            pass->advance(v, *at);
            return (*at)(static_cast<std::size_t>(v));
        }
    } mid{&first, &mid_row};
    row_pass<!FirstErodes, first_rows> second(p2, s.second, mid);
    second.start(y0, y1);
    second.advance(static_cast<long long>(y1) - 1, [&](std::size_t y) { return j.out.row(y); });
}

static void run_erosion(const pass_job& j, std::size_t y0, std::size_t y1, chunk_scratch& s) {
    run_one<true>(j, y0, y1, s);
}
static void run_dilation(const pass_job& j, std::size_t y0, std::size_t y1, chunk_scratch& s) {
    run_one<false>(j, y0, y1, s);
}
static void run_opening(const pass_job& j, std::size_t y0, std::size_t y1, chunk_scratch& s) {
    run_two<true>(j, y0, y1, s);
}
static void run_closing(const pass_job& j, std::size_t y0, std::size_t y1, chunk_scratch& s) {
    run_two<false>(j, y0, y1, s);
}

}  // namespace HWY_NAMESPACE
}  // namespace mist::morphology_detail
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace mist {

namespace morphology_detail {

HWY_EXPORT(run_erosion);
HWY_EXPORT(run_dilation);
HWY_EXPORT(run_opening);
HWY_EXPORT(run_closing);

using chunk_function = void (*)(const pass_job&, std::size_t, std::size_t, chunk_scratch&);

namespace {

void fill_plane(const plane_view& v, short value) {
    for (std::size_t y = 0; y < v.height; ++y) std::fill(v.row(y), v.row(y) + v.width, value);
}

short plane_extreme(const plane_view& v, bool erode) {
    short best = erode ? erosion_fill : dilation_fill;
    for (std::size_t y = 0; y < v.height; ++y) {
        const short* row = v.row(y);
        if (erode)
            best = std::min(best, *std::min_element(row, row + v.width));
        else
            best = std::max(best, *std::max_element(row, row + v.width));
    }
    return best;
}

int floor_log2(std::int64_t n) {
    int k = 0;
    while ((std::int64_t{2} << k) <= n) ++k;
    return k;
}

std::int64_t length_of(const morphology_run& r) {
    return static_cast<std::int64_t>(r.x1) - r.x0 + 1;
}

// The element's runs that some output of an out_w x out_h block at (ox, oy)
// can bring onto an in_w x in_h plane, cut to that, in row order.  The rest
// of the element only ever reads neutral cells.
std::vector<morphology_run> useful_runs(const morphology_runs& element, long long in_w,
                                        long long in_h, long long ox, long long oy,
                                        std::size_t out_w, std::size_t out_h, long long* ux_lo,
                                        long long* ux_hi, long long* uy_lo, long long* uy_hi) {
    *ux_lo = -ox - (static_cast<long long>(out_w) - 1), *ux_hi = in_w - 1 - ox;
    *uy_lo = -oy - (static_cast<long long>(out_h) - 1), *uy_hi = in_h - 1 - oy;
    std::vector<morphology_run> runs;
    for (const morphology_run& r : element.runs()) {
        if (r.dy < *uy_lo || r.dy > *uy_hi) continue;
        const long long x0 = std::max<long long>(r.x0, *ux_lo),
                        x1 = std::min<long long>(r.x1, *ux_hi);
        if (x0 <= x1)
            runs.push_back({r.dy, static_cast<std::int32_t>(x0), static_cast<std::int32_t>(x1)});
    }
    std::sort(runs.begin(), runs.end(), [](const morphology_run& a, const morphology_run& b) {
        return a.dy != b.dy ? a.dy < b.dy : a.x0 < b.x0;
    });
    return runs;
}

// Plans the row-by-row order: short runs read from level 0, each distinct
// long run computed once per source row into the ring (cell by cell or
// through the levels, whichever takes fewer vector operations).  False when
// the ring would exceed its budget.
bool plan_rows(pass_plan& p, const std::vector<morphology_run>& runs) {
    const std::size_t height = static_cast<std::size_t>(p.dy_hi - p.dy_lo + 1);
    p.rows.assign(height, {});
    std::vector<morphology_run> distinct;  // dy unused
    for (const morphology_run& r : runs) {
        const std::int64_t length = length_of(r);
        const std::int64_t first = p.origin_x + r.x0 - p.level_x;
        std::vector<row_read>& row = p.rows[static_cast<std::size_t>(r.dy - p.dy_lo)];
        if (length <= direct_run) {
            for (std::int64_t i = 0; i < length; ++i) row.push_back({-1, first + i});
            continue;
        }
        std::size_t k = 0;
        while (k < distinct.size() && (distinct[k].x0 != r.x0 || distinct[k].x1 != r.x1)) ++k;
        if (k == distinct.size()) distinct.push_back(r);
        row.push_back({static_cast<std::int32_t>(k), 0});
    }
    // A uniform element keeps one more slot, and one more ring row when a
    // row reads more than one thing.
    bool uniform = height >= 2 && height <= pair_height;
    for (std::size_t i = 1; uniform && i < height; ++i) {
        uniform = p.rows[i].size() == p.rows[0].size();
        for (std::size_t k = 0; uniform && k < p.rows[i].size(); ++k)
            uniform = p.rows[i][k].ring == p.rows[0][k].ring &&
                      p.rows[i][k].offset == p.rows[0][k].offset;
    }
    const bool whole_row = uniform && p.rows[0].size() > 1;
    for (const std::vector<row_read>& row : p.rows)
        if (row.size() > 64 && uniform) return false;
    const std::size_t slot_cells = p.level_size + (distinct.size() + whole_row) * p.out_w;
    if ((height + uniform) * slot_cells > ring_budget) return false;
    // Vector operations per row: by cells, a load and an extreme per cell;
    // through the levels, two loads, an extreme and a store per level built
    // and per run.
    std::int64_t by_cells = 0, top = 0;
    for (const morphology_run& r : distinct) {
        by_cells += 2 * length_of(r);
        top = std::max<std::int64_t>(top, floor_log2(length_of(r)));
    }
    const bool by_levels = 4 * (top + static_cast<std::int64_t>(distinct.size())) < by_cells;
    std::vector<int> level_of(distinct.size());
    for (std::size_t i = 0; i < distinct.size(); ++i)
        level_of[i] = by_levels ? floor_log2(length_of(distinct[i])) : 0;
    // The ring rows in level order, so each level is built once per row.
    std::vector<std::size_t> order(distinct.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return level_of[a] < level_of[b]; });
    std::vector<std::int32_t> ring_index(distinct.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        const morphology_run& r = distinct[order[i]];
        const int k = level_of[order[i]];
        const std::int64_t first = p.origin_x + r.x0 - p.level_x;
        p.ring_runs.push_back({k, first,
                               k == 0 ? first : first + length_of(r) - (std::int64_t{1} << k),
                               length_of(r)});
        ring_index[order[i]] = static_cast<std::int32_t>(i);
    }
    for (std::vector<row_read>& row : p.rows)
        for (row_read& r : row)
            if (r.ring >= 0) r.ring = ring_index[static_cast<std::size_t>(r.ring)];
    if (uniform) {
        p.uniform = true;
        if (whole_row) {
            p.whole_row = p.rows[0];
            p.uniform_ring = static_cast<std::int32_t>(p.ring_runs.size());
            p.ring_runs.push_back({-1, 0, 0, 0});
        } else {
            p.uniform_ring = p.rows[0][0].ring;
            p.uniform_offset = p.rows[0][0].offset;
        }
    }
    p.by_rows = true;
    return true;
}

void plan_sources(pass_plan& p, const std::vector<morphology_run>& runs) {
    for (const morphology_run& r : runs) {
        const std::size_t k = static_cast<std::size_t>(floor_log2(length_of(r)));
        if (p.levels.size() <= k) p.levels.resize(k + 1);
        const std::int64_t first = p.origin_x + r.x0 - p.level_x;
        p.levels[k].push_back({r.dy, first, first + length_of(r) - (std::int64_t{1} << k)});
    }
}

enum class planned { neutral, constant, by_rows, by_sources, too_large };

// Plans one pass of an out_w x out_h block at (ox, oy) over an in_w x in_h
// plane whose rows have `in_margin` neutral cells beside them.  Row by row
// when the ring fits; otherwise source by source, or too_large when that is
// not allowed.
planned make_plan(pass_plan& p, long long in_w, long long in_h, std::size_t in_margin, long long ox,
                  long long oy, std::size_t out_w, std::size_t out_h,
                  const morphology_runs& element, bool sources_allowed) {
    if (in_w <= 0 || in_h <= 0 || element.empty()) return planned::neutral;
    long long ux_lo, ux_hi, uy_lo, uy_hi;
    const std::vector<morphology_run> runs =
        useful_runs(element, in_w, in_h, ox, oy, out_w, out_h, &ux_lo, &ux_hi, &uy_lo, &uy_hi);
    if (runs.empty()) return planned::neutral;
    // An element that covers every useful offset puts the whole plane under
    // every window: the result is one value.
    bool full = static_cast<long long>(runs.size()) == uy_hi - uy_lo + 1;
    for (std::size_t i = 0; full && i < runs.size(); ++i)
        full = runs[i].dy == uy_lo + static_cast<long long>(i) && runs[i].x0 == ux_lo &&
               runs[i].x1 == ux_hi;
    if (full) return planned::constant;

    p.in_w = in_w;
    p.in_h = in_h;
    p.out_w = out_w;
    p.out_h = out_h;
    p.origin_x = ox;
    p.origin_y = oy;
    long long min_x0 = runs[0].x0, max_x1 = runs[0].x1;
    for (const morphology_run& r : runs) {
        min_x0 = std::min<long long>(min_x0, r.x0);
        max_x1 = std::max<long long>(max_x1, r.x1);
    }
    p.level_x = ox + min_x0;
    p.level_size =
        static_cast<std::size_t>(static_cast<long long>(out_w) - 1 + max_x1 - min_x0 + 1);
    const long long n0 = static_cast<long long>(p.level_size);
    p.on_plane = on_line(p.level_x, n0, in_w);
    p.margin_needed = static_cast<std::size_t>(std::max({0LL, -p.level_x, p.level_x + n0 - in_w}));
    p.level_in_place = p.margin_needed <= in_margin;
    p.dy_lo = runs.front().dy;
    p.dy_hi = runs.back().dy;
    if (!p.level_in_place) {
        // The columns whose level cells all lie on the plane; when the
        // others are few and the element small, they are taken point by
        // point instead of copying every row.
        const long long reach = n0 - static_cast<long long>(out_w);
        const long long lo = std::max(0LL, -p.level_x);
        const long long hi = std::min(static_cast<long long>(out_w), in_w - p.level_x - reach);
        std::uint64_t points = 0;
        for (const morphology_run& r : runs) points += static_cast<std::uint64_t>(length_of(r));
        if (lo < hi &&
            points * static_cast<std::uint64_t>(lo + static_cast<long long>(out_w) - hi) <= out_w) {
            p.ends_by_points = true;
            p.inner_lo = static_cast<std::size_t>(lo);
            p.inner_hi = static_cast<std::size_t>(hi);
            p.clipped = runs;
        }
    }
    if (plan_rows(p, runs)) return planned::by_rows;
    if (!sources_allowed) return planned::too_large;
    plan_sources(p, runs);
    return planned::by_sources;
}

// Runs a job over its output rows on `threads` jobs (0: one per
// processor), in chunks that the range call hands out.  Each chunk reads
// `reach` source rows beyond its own, so chunks are several times that
// tall; with one job the whole block is one chunk.  Each thread keeps its
// buffers from call to call.
void run_job(const pass_job& j, std::size_t reach, std::uint32_t threads, chunk_function run) {
    const int jobs = filter_jobs(threads);
    const std::size_t rows = j.out.height;
    const std::size_t grain = jobs <= 1 ? rows : std::max<std::size_t>(4 * reach, 16);
    const pool::Split split{.jobs = jobs, .grain = static_cast<int>(std::min(grain, rows))};
    pool::parallel_for(static_cast<int>(rows), split, [&](const pool::Range& r) {
        thread_local chunk_scratch scratch;
        run(j, static_cast<std::size_t>(r.begin), static_cast<std::size_t>(r.end), scratch);
    });
}

std::size_t height_of(const pass_plan& p) {
    return static_cast<std::size_t>(p.dy_hi - p.dy_lo + 1);
}

}  // namespace

}  // namespace morphology_detail

std::size_t morphology_margin(const morphology_runs& element, long long in_w, long long in_h,
                              long long origin_x, long long origin_y, std::size_t out_w,
                              std::size_t out_h) {
    using namespace morphology_detail;
    long long ux_lo, ux_hi, uy_lo, uy_hi;
    const std::vector<morphology_run> runs = useful_runs(
        element, in_w, in_h, origin_x, origin_y, out_w, out_h, &ux_lo, &ux_hi, &uy_lo, &uy_hi);
    if (runs.empty()) return 0;
    long long min_x0 = runs[0].x0, max_x1 = runs[0].x1;
    for (const morphology_run& r : runs) {
        min_x0 = std::min<long long>(min_x0, r.x0);
        max_x1 = std::max<long long>(max_x1, r.x1);
    }
    return static_cast<std::size_t>(std::max(
        {0LL, -(origin_x + min_x0), origin_x + static_cast<long long>(out_w) + max_x1 - in_w}));
}

void morphology_pass(const plane_view& in, long long origin_x, long long origin_y,
                     const plane_view& out, const morphology_runs& element, bool erode,
                     std::uint32_t threads, std::size_t in_margin) {
    using namespace morphology_detail;
    if (out.width == 0 || out.height == 0) return;
    pass_plan p;
    switch (make_plan(p, static_cast<long long>(in.width), static_cast<long long>(in.height),
                      in_margin, origin_x, origin_y, out.width, out.height, element, true)) {
        case planned::neutral:
            fill_plane(out, erode ? erosion_fill : dilation_fill);
            return;
        case planned::constant:
            fill_plane(out, plane_extreme(in, erode));
            return;
        default:
            break;
    }
    p.in = in;
    pass_job j;
    j.first = &p;
    j.out = out;
    run_job(j, height_of(p), threads,
            erode ? HWY_DYNAMIC_DISPATCH(run_erosion) : HWY_DYNAMIC_DISPATCH(run_dilation));
}

void morphology_two_passes(const plane_view& in, std::size_t in_margin, long long mid_x,
                           long long mid_y, std::size_t mid_w, std::size_t mid_h,
                           long long origin_x, long long origin_y, const plane_view& out,
                           const morphology_runs& element, bool first_erodes,
                           std::uint32_t threads) {
    using namespace morphology_detail;
    if (out.width == 0 || out.height == 0) return;
    if (mid_w > 0 && mid_h > 0) {
        pass_plan p1, p2;
        const planned first =
            make_plan(p1, static_cast<long long>(in.width), static_cast<long long>(in.height),
                      in_margin, mid_x, mid_y, mid_w, mid_h, element, false);
        const planned second =
            make_plan(p2, static_cast<long long>(mid_w), static_cast<long long>(mid_h),
                      std::size_t(-1), origin_x, origin_y, out.width, out.height, element, false);
        if (first == planned::by_rows && second == planned::by_rows) {
            // The first pass's rows are kept with the neutral cells the
            // second one needs beside them.
            p1.in = in;
            pass_job j;
            j.first = &p1;
            j.second = &p2;
            j.out = out;
            j.mid_margin = p2.margin_needed;
            run_job(j, height_of(p1) + height_of(p2), threads,
                    first_erodes ? HWY_DYNAMIC_DISPATCH(run_opening)
                                 : HWY_DYNAMIC_DISPATCH(run_closing));
            return;
        }
    }
    // Two separate passes through a plane kept from call to call.
    thread_local std::vector<short> between;
    if (between.size() < mid_w * mid_h) between.resize(mid_w * mid_h);
    const plane_view mid{between.data(), mid_w, mid_h, static_cast<std::ptrdiff_t>(mid_w)};
    morphology_pass(in, mid_x, mid_y, mid, element, first_erodes, threads, in_margin);
    morphology_pass(mid, origin_x, origin_y, out, element, !first_erodes, threads);
}

namespace {

// One or two passes from a plane into another of the same size.
void whole_plane(const plane_view& a, const plane_view& b, const morphology_runs& e,
                 std::uint32_t threads, int passes, bool first_erodes) {
    if (passes == 1)
        morphology_pass(a, 0, 0, b, e, first_erodes, threads);
    else
        morphology_two_passes(a, 0, 0, 0, a.width, a.height, 0, 0, b, e, first_erodes, threads);
}

// One or two passes in place; `first_erodes` chooses erosion or dilation
// first.  The result goes through a buffer kept from call to call.
bool in_place(array2<short>& image, const morphology_runs& e, std::uint32_t threads, int passes,
              bool first_erodes) {
    if (image.empty() || e.empty()) return false;
    // The padded image of the list form must be representable, as before.
    const std::size_t padded = array2<short>::checked_count(
        image.width() + 2 * static_cast<std::size_t>(std::max(e.margin_x, 0)),
        image.height() + 2 * static_cast<std::size_t>(std::max(e.margin_y, 0)));
    if (padded > array2<short>::max_size) throw std::length_error("padded image too large");
    thread_local array2<short> scratch;
    scratch.resize(image.width(), image.height());
    whole_plane(plane_view::of(image), plane_view::of(scratch), e, threads, passes, first_erodes);
    std::copy(scratch.begin(), scratch.end(), image.begin());
    return true;
}

// One or two passes from `in` into `out`.
bool from_to(const array2<short>& in, array2<short>& out, const morphology_runs& e,
             std::uint32_t threads, int passes, bool first_erodes) {
    if (in.empty() || e.empty() || &in == &out) return false;
    out.resize(in.width(), in.height());
    out.pitch_x = in.pitch_x;
    out.pitch_y = in.pitch_y;
    const plane_view a{const_cast<short*>(in.data()), in.width(), in.height(),
                       static_cast<std::ptrdiff_t>(in.width())};
    whole_plane(a, plane_view::of(out), e, threads, passes, first_erodes);
    return true;
}

}  // namespace

bool erosion(const array2<short>& in, array2<short>& out, const morphology_runs& e,
             std::uint32_t threads) {
    return from_to(in, out, e, threads, 1, true);
}
bool dilation(const array2<short>& in, array2<short>& out, const morphology_runs& e,
              std::uint32_t threads) {
    return from_to(in, out, e, threads, 1, false);
}
bool opening(const array2<short>& in, array2<short>& out, const morphology_runs& e,
             std::uint32_t threads) {
    return from_to(in, out, e, threads, 2, true);
}
bool closing(const array2<short>& in, array2<short>& out, const morphology_runs& e,
             std::uint32_t threads) {
    return from_to(in, out, e, threads, 2, false);
}

bool erosion(array2<short>& image, const morphology_structure& s, std::uint32_t threads) {
    return in_place(image, runs_of(s), threads, 1, true);
}
bool dilation(array2<short>& image, const morphology_structure& s, std::uint32_t threads) {
    return in_place(image, runs_of(s), threads, 1, false);
}
bool opening(array2<short>& image, const morphology_structure& s, std::uint32_t threads) {
    return in_place(image, runs_of(s), threads, 2, true);
}
bool closing(array2<short>& image, const morphology_structure& s, std::uint32_t threads) {
    return in_place(image, runs_of(s), threads, 2, false);
}

bool erosion(array2<short>& image, double radius, std::uint32_t threads) {
    if (image.empty()) return false;
    return in_place(image, circle_runs(radius, image.pitch_x, image.pitch_y), threads, 1, true);
}
bool dilation(array2<short>& image, double radius, std::uint32_t threads) {
    if (image.empty()) return false;
    return in_place(image, circle_runs(radius, image.pitch_x, image.pitch_y), threads, 1, false);
}
bool opening(array2<short>& image, double radius, std::uint32_t threads) {
    if (image.empty()) return false;
    return in_place(image, circle_runs(radius, image.pitch_x, image.pitch_y), threads, 2, true);
}
bool closing(array2<short>& image, double radius, std::uint32_t threads) {
    if (image.empty()) return false;
    return in_place(image, circle_runs(radius, image.pitch_x, image.pitch_y), threads, 2, false);
}

}  // namespace mist
#endif  // HWY_ONCE
