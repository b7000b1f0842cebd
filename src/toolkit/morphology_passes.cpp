// The chunk bodies of morphology: one pass (erosion, dilation) or two
// chained through a ring (opening, closing) over a chunk of output rows,
// row by row or source by source as the plan says (morphology_plan.h).
// Both orders are exact integer min/max, so the result does not depend on
// the order, the chunks or the number of threads.  Both look at the work
// deadline once a row and stop when it has passed.  The row loops are
// vector code compiled for each instruction set and chosen at run time
// (Highway).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "toolkit/morphology_passes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/work_deadline.h"
#include "toolkit/morphology_kernels-inl.h"
#include "toolkit/morphology_plan.h"

HWY_BEFORE_NAMESPACE();
namespace toolkit::morphology_detail {
namespace HWY_NAMESPACE {

// Cells combined between two looks at the work deadline within a row:
// about a millisecond of work.
constexpr std::size_t kReadsBetweenChecks = std::size_t{1} << 21;

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
                height_ <= kPairHeight) {
                // Two rows at once: the ring has a slot more than the
                // element's height, so the rows of both are held together.
                const long long top = centre + p_.dy_lo, bottom = centre + 1 + p_.dy_hi;
                prepare_to(top, bottom);
                const short* h[kPairHeight + 1];
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
            else if (!combine_checked(dst + lo_, n))
                return;
            ends(centre, dst);
            ++next_;
        }
    }

private:
    // dst = the extreme of the reads, a few thousand reads at a time (an
    // element of many short runs reads many), each group after the first
    // combined into what dst holds; false once the deadline has passed.
    bool combine_checked(short* dst, std::size_t n) {
        const std::size_t m = s_.reads.size();
        const std::size_t group =
            std::max<std::size_t>(2, kReadsBetweenChecks / std::max<std::size_t>(n, 1));
        combine<Erode>(s_.reads.data(), std::min(m, group), dst, n);
        for (std::size_t i = group; i < m; i += group - 1) {
            if (work_deadline::passed()) return false;
            s_.reads[i - 1] = dst;
            combine<Erode>(&s_.reads[i - 1], std::min(group, m - i + 1), dst, n);
        }
        return true;
    }

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

    std::size_t cells = 0;  // merged since the deadline was last looked at
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
                // Elements of many runs merge many per source row.
                cells += out_w;
                if (cells >= kReadsBetweenChecks) {
                    cells = 0;
                    if (work_deadline::passed()) return;
                }
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
}  // namespace toolkit::morphology_detail
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace toolkit::morphology_detail {

HWY_EXPORT(run_erosion);
HWY_EXPORT(run_dilation);
HWY_EXPORT(run_opening);
HWY_EXPORT(run_closing);

chunk_function chunk_body(pass_kind kind) {
    switch (kind) {
        case pass_kind::erosion:
            return HWY_DYNAMIC_DISPATCH(run_erosion);
        case pass_kind::dilation:
            return HWY_DYNAMIC_DISPATCH(run_dilation);
        case pass_kind::opening:
            return HWY_DYNAMIC_DISPATCH(run_opening);
        default:
            return HWY_DYNAMIC_DISPATCH(run_closing);
    }
}

}  // namespace toolkit::morphology_detail
#endif  // HWY_ONCE
