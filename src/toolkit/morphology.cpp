// The morphology pass: the extreme of a 16-bit plane over a run-form element.
//
// Every source row is first given a level 0: the row itself, or a copy with
// neutral cells where the windows reach beyond the plane.  Level k, built in
// place from level k - 1, holds at t the extreme of the cells t .. t + 2^k - 1
// of level 0, so a run of length L is the extreme of two reads of level
// floor(log2 L), overlapping in the middle.
//
// Output rows are cut into chunks that the workers take in turn, and a chunk
// is computed in one of two orders:
//  - row by row (small elements, the usual case): the source rows under the
//    element are kept in a ring, each with the extreme over every distinct
//    long run of the element computed once; an output row is then one pass
//    that takes the extreme of a few rows of the ring (and of short runs read
//    straight from level 0), holding it in registers;
//  - source by source (elements whose ring would not fit in a few
//    megabytes): each source row's levels are built once and each run is
//    merged into the output row it belongs to.
// Both are exact integer min/max, so the result does not depend on the
// order, the chunks or the number of threads.  The row loops are vector code
// compiled for each instruction set and chosen at run time (Highway).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "toolkit/morphology.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#ifndef QUORVEL_TOOLKIT_MORPHOLOGY_PLAN
#define QUORVEL_TOOLKIT_MORPHOLOGY_PLAN

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "toolkit/morphology.h"

namespace mist::morphology_detail {

// Runs up to this length are read cell by cell from level 0 when an output
// row is combined; longer ones once per source row into the ring.
constexpr std::int64_t direct_run = 3;

// The most cells a worker's ring may hold before the source-by-source order
// is used instead.
constexpr std::size_t ring_budget = std::size_t{4} << 20;

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

// A long run computed into the ring: by cells of level 0 (`level` 0) or from
// the two reads of a level.
struct ring_run {
    int level;
    std::int64_t first, second, length;
};

// Everything a chunk needs; shared read-only by the workers.
struct pass_plan {
    plane_view in, out;
    long long origin_x = 0, origin_y = 0;
    long long level_x = 0;       // the source column of level cell 0
    std::size_t level_size = 0;  // cells of level 0
    long long on_plane_lo = 0, on_plane_hi = 0;  // level cells that lie on the plane
    std::int32_t dy_lo = 0, dy_hi = 0;           // the rows of the clipped element
    std::size_t chunk_rows = 0, chunks = 0;
    bool by_rows = false;

    // Source by source: reads by level, each by dy.
    std::vector<std::vector<level_read>> levels;

    // Row by row: per element row (dy - dy_lo) its reads; the ring's runs,
    // by level; the levels they need.
    std::vector<std::vector<row_read>> rows;
    std::vector<ring_run> ring_runs;

    // Every element row reads the same (a rectangle, or any table whose
    // rows are all alike): each source row's extreme is one ring row
    // (`uniform_ring`), and two output rows at a time share the extreme of
    // the rows between their first and last.  When a row reads more than
    // one thing, that ring row is the extreme of `whole_row`.
    bool uniform = false;
    std::int32_t uniform_ring = -1;
    std::int64_t uniform_offset = 0;
    std::vector<row_read> whole_row;
};

// A worker's buffers, kept from call to call.
struct chunk_scratch {
    std::vector<short> level;
    std::vector<std::uint8_t> touched;
    std::vector<short> ring;
    std::vector<const short*> ring_row0;
    std::vector<long long> ring_source;
    std::vector<const short*> reads;
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
        case 1: std::memcpy(dst, src[0], n * sizeof(short)); return;
        case 2: combine_fixed<Erode, 2>(src, dst, n); return;
        case 3: combine_fixed<Erode, 3>(src, dst, n); return;
        case 4: combine_fixed<Erode, 4>(src, dst, n); return;
        case 5: combine_fixed<Erode, 5>(src, dst, n); return;
        case 6: combine_fixed<Erode, 6>(src, dst, n); return;
        case 7: combine_fixed<Erode, 7>(src, dst, n); return;
        default: break;
    }
    combine_fixed<Erode, 8>(src, dst, n);
    std::size_t i = 8;
    for (; i + 7 <= m; i += 7) {
        const short* more[8] = {dst, src[i], src[i + 1], src[i + 2], src[i + 3], src[i + 4], src[i + 5], src[i + 6]};
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
        case 2: combine_two_fixed<Erode, 2>(h, dst0, dst1, n); return true;
        case 3: combine_two_fixed<Erode, 3>(h, dst0, dst1, n); return true;
        case 4: combine_two_fixed<Erode, 4>(h, dst0, dst1, n); return true;
        case 5: combine_two_fixed<Erode, 5>(h, dst0, dst1, n); return true;
        case 6: combine_two_fixed<Erode, 6>(h, dst0, dst1, n); return true;
        case 7: combine_two_fixed<Erode, 7>(h, dst0, dst1, n); return true;
        case 8: combine_two_fixed<Erode, 8>(h, dst0, dst1, n); return true;
        default: return false;
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

// Level 0 of source row sy: the row itself when every level cell lies on
// the plane, otherwise `copy` filled with the row and neutral cells.
template <bool Erode>
HWY_INLINE const short* level_zero(const pass_plan& p, long long sy, short* copy) {
    const short* row = p.in.row(static_cast<std::size_t>(sy));
    const long long n0 = static_cast<long long>(p.level_size);
    const long long lo = p.on_plane_lo, hi = p.on_plane_hi;
    if (lo == 0 && hi == n0) return row + p.level_x;
    const short neutral = Erode ? erosion_fill : dilation_fill;
    std::fill(copy, copy + lo, neutral);
    std::memcpy(copy + lo, row + (p.level_x + lo), static_cast<std::size_t>(hi - lo) * sizeof(short));
    std::fill(copy + hi, copy + n0, neutral);
    return copy;
}

// Output rows [y0, y1), row by row.
template <bool Erode>
void run_rows(const pass_plan& p, std::size_t y0, std::size_t y1, chunk_scratch& s) {
    const short neutral = Erode ? erosion_fill : dilation_fill;
    const std::size_t out_w = p.out.width;
    const long long in_h = static_cast<long long>(p.in.height);
    const std::size_t height = static_cast<std::size_t>(p.dy_hi - p.dy_lo + 1);
    const std::size_t slots = height + (p.uniform ? 1 : 0);
    const std::size_t level_cells = p.level_size;
    const std::size_t slot_cells = level_cells + p.ring_runs.size() * out_w;
    if (s.ring.size() < slots * slot_cells) s.ring.resize(slots * slot_cells);
    if (s.level.size() < level_cells) s.level.resize(level_cells);
    s.ring_row0.assign(slots, nullptr);
    s.ring_source.assign(slots, -1);
    const short* reads_cells[64];

    // Fills the ring slot of source row sy.
    auto prepare = [&](long long sy) {
        const std::size_t slot = static_cast<std::size_t>(sy) % slots;
        short* base = s.ring.data() + slot * slot_cells;
        const short* row0 = level_zero<Erode>(p, sy, base);
        s.ring_row0[slot] = row0;
        s.ring_source[slot] = sy;
        short* runs_out = base + level_cells;
        const short* level = row0;
        int built = 0;
        for (std::size_t r = 0; r < p.ring_runs.size(); ++r) {
            const ring_run& run = p.ring_runs[r];
            short* dst = runs_out + r * out_w;
            if (run.level < 0) {
                // The whole row of a uniform element, from what came before.
                std::size_t m = 0;
                for (const row_read& w : p.whole_row)
                    if (m < 64)
                        reads_cells[m++] = w.ring < 0 ? row0 + w.offset
                                                      : runs_out + static_cast<std::size_t>(w.ring) * out_w;
                combine<Erode>(reads_cells, m, dst, out_w);
                continue;
            }
            if (run.level == 0) {
                // Cell by cell from level 0.
                const std::size_t m = static_cast<std::size_t>(run.length);
                if (m <= 64) {
                    for (std::size_t i = 0; i < m; ++i) reads_cells[i] = row0 + run.first + i;
                    combine<Erode>(reads_cells, m, dst, out_w);
                } else {
                    std::memcpy(dst, row0 + run.first, out_w * sizeof(short));
                    for (std::size_t i = 1; i < m; ++i) merge_one<Erode>(row0 + run.first + i, dst, out_w);
                }
                continue;
            }
            while (built < run.level) {
                ++built;
                const std::size_t step = std::size_t{1} << (built - 1);
                const std::size_t n = level_cells - (2 * step - 1);
                if (built == 1) {
                    merge_pair<Erode, false>(row0, row0 + 1, s.level.data(), n);
                    level = s.level.data();
                } else {
                    level_up<Erode>(s.level.data(), n, step);
                }
            }
            merge_pair<Erode, false>(level + run.first, level + run.second, dst, out_w);
        }
    };

    const long long first_source = std::max(0LL, p.origin_y + static_cast<long long>(y0) + p.dy_lo);
    long long prepared = first_source - 1;
    auto prepare_to = [&](long long top, long long bottom) {
        for (long long sy = std::max(prepared + 1, top); sy <= bottom; ++sy) {
            prepare(sy);
            prepared = sy;
        }
    };
    auto uniform_row = [&](long long sy) {
        const std::size_t slot = static_cast<std::size_t>(sy) % slots;
        return p.uniform_ring < 0
                   ? s.ring_row0[slot] + p.uniform_offset
                   : s.ring.data() + slot * slot_cells + level_cells +
                         static_cast<std::size_t>(p.uniform_ring) * out_w;
    };
    for (std::size_t y = y0; y < y1; ++y) {
        const long long centre = p.origin_y + static_cast<long long>(y);
        if (p.uniform && y + 1 < y1 && centre + p.dy_lo >= 0 && centre + 1 + p.dy_hi < in_h &&
            height >= 2 && height <= 8) {
            // Two rows at once; the ring has a slot more than the element's
            // height, so the rows of both are held together.
            const long long top = centre + p.dy_lo, bottom = centre + 1 + p.dy_hi;
            prepare_to(top, bottom);
            const short* h[9];
            for (long long sy = top; sy <= bottom; ++sy) h[sy - top] = uniform_row(sy);
            combine_two<Erode>(h, height, p.out.row(y), p.out.row(y + 1), out_w);
            ++y;
            continue;
        }
        const long long top = std::max(0LL, centre + p.dy_lo);
        const long long bottom = std::min(in_h - 1, centre + p.dy_hi);
        prepare_to(top, bottom);
        s.reads.clear();
        for (long long sy = top; sy <= bottom; ++sy) {
            const std::size_t slot = static_cast<std::size_t>(sy) % slots;
            const short* row0 = s.ring_row0[slot];
            const short* runs_out = s.ring.data() + slot * slot_cells + level_cells;
            for (const row_read& r : p.rows[static_cast<std::size_t>(sy - centre - p.dy_lo)])
                s.reads.push_back(r.ring < 0 ? row0 + r.offset
                                             : runs_out + static_cast<std::size_t>(r.ring) * out_w);
        }
        short* dst = p.out.row(y);
        if (s.reads.empty())
            std::fill(dst, dst + out_w, neutral);
        else
            combine<Erode>(s.reads.data(), s.reads.size(), dst, out_w);
    }
}

// Output rows [y0, y1), source by source.
template <bool Erode>
void run_sources(const pass_plan& p, std::size_t y0, std::size_t y1, chunk_scratch& s) {
    const short neutral = Erode ? erosion_fill : dilation_fill;
    const std::size_t out_w = p.out.width;
    const long long in_h = static_cast<long long>(p.in.height);
    const long long n0 = static_cast<long long>(p.level_size);
    s.touched.assign(y1 - y0, 0);
    if (s.level.size() < 2 * p.level_size) s.level.resize(2 * p.level_size);
    short* copy = s.level.data() + p.level_size;
    short* level = s.level.data();

    const long long sy_lo = std::max(0LL, p.origin_y + static_cast<long long>(y0) + p.dy_lo);
    const long long sy_hi =
        std::min(in_h - 1, p.origin_y + static_cast<long long>(y1) - 1 + p.dy_hi);
    for (long long sy = sy_lo; sy <= sy_hi; ++sy) {
        // Output row y = rel - dy; only rows of this chunk.
        const long long rel = sy - p.origin_y;
        const long long dlo = std::max<long long>(p.dy_lo, rel - static_cast<long long>(y1 - 1));
        const long long dhi = std::min<long long>(p.dy_hi, rel - static_cast<long long>(y0));
        if (dlo > dhi) continue;
        const short* base = level_zero<Erode>(p, sy, copy);
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
                short* dst = p.out.row(y);
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
        if (!s.touched[y - y0]) std::fill(p.out.row(y), p.out.row(y) + out_w, neutral);
}

static void run_erosion_chunk(const pass_plan& p, std::size_t y0, std::size_t y1,
                              chunk_scratch& s) {
    if (p.by_rows)
        run_rows<true>(p, y0, y1, s);
    else
        run_sources<true>(p, y0, y1, s);
}
static void run_dilation_chunk(const pass_plan& p, std::size_t y0, std::size_t y1,
                               chunk_scratch& s) {
    if (p.by_rows)
        run_rows<false>(p, y0, y1, s);
    else
        run_sources<false>(p, y0, y1, s);
}

}  // namespace HWY_NAMESPACE
}  // namespace mist::morphology_detail
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace mist {

namespace morphology_detail {

HWY_EXPORT(run_erosion_chunk);
HWY_EXPORT(run_dilation_chunk);

using chunk_function = void (*)(const pass_plan&, std::size_t, std::size_t, chunk_scratch&);

// The worker: takes chunks of output rows until none is left.
class morphology_thread : public thread<morphology_thread> {
public:
    const pass_plan* plan = nullptr;
    std::atomic<std::size_t>* next = nullptr;
    chunk_function run = nullptr;

protected:
    std::uint32_t thread_function() override {
        thread_local chunk_scratch scratch;
        for (;;) {
            const std::size_t c = next->fetch_add(1, std::memory_order_relaxed);
            if (c >= plan->chunks) break;
            const std::size_t y0 = c * plan->chunk_rows;
            const std::size_t y1 = std::min(plan->out.height, y0 + plan->chunk_rows);
            run(*plan, y0, y1, scratch);
        }
        return 1;
    }
};

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

// Plans the row-by-row order: short runs read from level 0, each distinct
// long run computed once per source row into the ring (cell by cell or
// through the levels, whichever costs fewer passes over a row).  False when
// the ring would exceed its budget.
bool plan_rows(pass_plan& p, const std::vector<morphology_run>& runs) {
    const std::size_t slots = static_cast<std::size_t>(p.dy_hi - p.dy_lo + 1);
    p.rows.assign(slots, {});
    std::vector<morphology_run> distinct;  // dy unused
    for (const morphology_run& r : runs) {
        const std::int64_t length = static_cast<std::int64_t>(r.x1) - r.x0 + 1;
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
    bool uniform = slots >= 2 && slots <= 8;
    for (std::size_t i = 1; uniform && i < slots; ++i) {
        uniform = p.rows[i].size() == p.rows[0].size();
        for (std::size_t k = 0; uniform && k < p.rows[i].size(); ++k)
            uniform = p.rows[i][k].ring == p.rows[0][k].ring && p.rows[i][k].offset == p.rows[0][k].offset;
    }
    const bool whole_row = uniform && p.rows[0].size() > 1;
    if (whole_row && p.rows[0].size() > 64) return false;
    const std::size_t slot_cells = p.level_size + (distinct.size() + whole_row) * p.out.width;
    if ((slots + uniform) * slot_cells > ring_budget) return false;
    // Vector operations per row: by cells, a load and an extreme per cell;
    // through the levels, two loads, an extreme and a store per level built
    // and per run.
    std::int64_t by_cells = 0, top = 0;
    for (const morphology_run& r : distinct) {
        const std::int64_t length = static_cast<std::int64_t>(r.x1) - r.x0 + 1;
        by_cells += 2 * length;
        top = std::max<std::int64_t>(top, floor_log2(length));
    }
    const bool by_levels = 4 * (top + static_cast<std::int64_t>(distinct.size())) < by_cells;
    std::vector<std::size_t> order(distinct.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::vector<int> level_of(distinct.size());
    for (std::size_t i = 0; i < distinct.size(); ++i)
        level_of[i] = by_levels ? floor_log2(static_cast<std::int64_t>(distinct[i].x1) - distinct[i].x0 + 1) : 0;
    // The ring's runs in level order, so each level is built once per row.
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return level_of[a] < level_of[b]; });
    std::vector<std::int32_t> ring_index(distinct.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        const morphology_run& r = distinct[order[i]];
        const std::int64_t length = static_cast<std::int64_t>(r.x1) - r.x0 + 1;
        const int k = level_of[order[i]];
        const std::int64_t first = p.origin_x + r.x0 - p.level_x;
        p.ring_runs.push_back({k, first, k == 0 ? first : first + length - (std::int64_t{1} << k), length});
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
        const std::int64_t length = static_cast<std::int64_t>(r.x1) - r.x0 + 1;
        const std::size_t k = static_cast<std::size_t>(floor_log2(length));
        if (p.levels.size() <= k) p.levels.resize(k + 1);
        const std::int64_t first = p.origin_x + r.x0 - p.level_x;
        p.levels[k].push_back({r.dy, first, first + length - (std::int64_t{1} << k)});
    }
}

}  // namespace

}  // namespace morphology_detail

void morphology_pass(const plane_view& in, long long origin_x, long long origin_y,
                     const plane_view& out, const morphology_runs& element, bool erode,
                     std::uint32_t threads) {
    using namespace morphology_detail;
    if (out.width == 0 || out.height == 0) return;
    const short neutral = erode ? erosion_fill : dilation_fill;
    if (in.width == 0 || in.height == 0 || element.empty()) {
        fill_plane(out, neutral);
        return;
    }
    const long long in_w = static_cast<long long>(in.width), in_h = static_cast<long long>(in.height);
    const long long out_w = static_cast<long long>(out.width), out_h = static_cast<long long>(out.height);
    // The offsets some output can bring onto the plane; the rest of the
    // element only ever reads neutral cells.
    const long long ux_lo = -origin_x - (out_w - 1), ux_hi = in_w - 1 - origin_x;
    const long long uy_lo = -origin_y - (out_h - 1), uy_hi = in_h - 1 - origin_y;
    std::vector<morphology_run> runs;
    for (const morphology_run& r : element.runs()) {
        if (r.dy < uy_lo || r.dy > uy_hi) continue;
        const long long x0 = std::max<long long>(r.x0, ux_lo), x1 = std::min<long long>(r.x1, ux_hi);
        if (x0 <= x1)
            runs.push_back({r.dy, static_cast<std::int32_t>(x0), static_cast<std::int32_t>(x1)});
    }
    if (runs.empty()) {
        fill_plane(out, neutral);
        return;
    }
    std::sort(runs.begin(), runs.end(), [](const morphology_run& a, const morphology_run& b) {
        return a.dy != b.dy ? a.dy < b.dy : a.x0 < b.x0;
    });
    // An element that covers every useful offset puts the whole plane under
    // every window: the result is one value.
    {
        bool full = static_cast<long long>(runs.size()) == uy_hi - uy_lo + 1;
        for (std::size_t i = 0; full && i < runs.size(); ++i)
            full = runs[i].dy == uy_lo + static_cast<long long>(i) && runs[i].x0 == ux_lo &&
                   runs[i].x1 == ux_hi;
        if (full) {
            fill_plane(out, plane_extreme(in, erode));
            return;
        }
    }

    pass_plan p;
    p.in = in;
    p.out = out;
    p.origin_x = origin_x;
    p.origin_y = origin_y;
    long long min_x0 = runs[0].x0, max_x1 = runs[0].x1;
    for (const morphology_run& r : runs) {
        min_x0 = std::min<long long>(min_x0, r.x0);
        max_x1 = std::max<long long>(max_x1, r.x1);
    }
    p.level_x = origin_x + min_x0;
    p.level_size = static_cast<std::size_t>(out_w - 1 + max_x1 - min_x0 + 1);
    const long long n0 = static_cast<long long>(p.level_size);
    p.on_plane_lo = std::clamp(-p.level_x, 0LL, n0);
    p.on_plane_hi = std::clamp(in_w - p.level_x, p.on_plane_lo, n0);
    p.dy_lo = runs.front().dy;
    p.dy_hi = runs.back().dy;
    if (!plan_rows(p, runs)) plan_sources(p, runs);

    if (threads == 0) threads = processor_count();
    // Each chunk reads the element's height of source rows beyond its own,
    // so chunks are several element heights tall; with one worker the
    // whole plane is one chunk.
    const std::size_t span = static_cast<std::size_t>(p.dy_hi - p.dy_lo + 1);
    const std::size_t rows = out.height;
    p.chunk_rows = threads <= 1 ? rows
                                : std::max<std::size_t>({4 * span, 16, (rows + 8 * threads - 1) / (8 * threads)});
    p.chunk_rows = std::min(p.chunk_rows, rows);
    p.chunks = (rows + p.chunk_rows - 1) / p.chunk_rows;
    const std::uint32_t n = static_cast<std::uint32_t>(std::min<std::size_t>(threads, p.chunks));

    std::atomic<std::size_t> next{0};
    const chunk_function run =
        erode ? HWY_DYNAMIC_DISPATCH(run_erosion_chunk) : HWY_DYNAMIC_DISPATCH(run_dilation_chunk);
    std::unique_ptr<morphology_thread[]> workers(new morphology_thread[n]);
    for (std::uint32_t i = 0; i < n; ++i) {
        workers[i].thread_index = i;
        workers[i].thread_count = n;
        workers[i].plan = &p;
        workers[i].next = &next;
        workers[i].run = run;
    }
    run_threads(workers.get(), n);
}

namespace {

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
    const plane_view a = plane_view::of(image), b = plane_view::of(scratch);
    morphology_pass(a, 0, 0, b, e, first_erodes, threads);
    if (passes == 2)
        morphology_pass(b, 0, 0, a, e, !first_erodes, threads);
    else
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
    const plane_view b = plane_view::of(out);
    if (passes == 1) {
        morphology_pass(a, 0, 0, b, e, first_erodes, threads);
        return true;
    }
    thread_local array2<short> between;
    between.resize(in.width(), in.height());
    const plane_view m = plane_view::of(between);
    morphology_pass(a, 0, 0, m, e, first_erodes, threads);
    morphology_pass(m, 0, 0, b, e, !first_erodes, threads);
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
