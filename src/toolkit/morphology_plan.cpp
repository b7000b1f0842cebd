// Planning a morphology pass (see morphology_plan.h): the element cut to
// what can reach the plane, the reads of each output row, and the margins
// a caller keeps beside its rows.
#include "toolkit/morphology_plan.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace toolkit {

namespace morphology_detail {

namespace {

int floor_log2(std::int64_t n) {
    int k = 0;
    while ((std::int64_t{2} << k) <= n) ++k;
    return k;
}

std::int64_t length_of(const morphology_run& r) {
    return static_cast<std::int64_t>(r.x1) - r.x0 + 1;
}

// Plans the row-by-row order: short runs read from level 0, each distinct
// long run computed once per source row into the ring (cell by cell or
// through the levels, whichever takes fewer vector operations).  False when
// the ring would exceed its budget.
bool plan_rows(pass_plan& p, const std::vector<morphology_run>& runs) {
    const std::size_t height = static_cast<std::size_t>(p.dy_hi - p.dy_lo + 1);
    p.rows.assign(height, {});
    std::vector<morphology_run> distinct;  // dy unused
    // Index in `distinct` by (x0, x1): an element may have very many runs.
    std::map<std::pair<std::int32_t, std::int32_t>, std::size_t> index_of;
    for (const morphology_run& r : runs) {
        const std::int64_t length = length_of(r);
        const std::int64_t first = p.origin_x + r.x0 - p.level_x;
        std::vector<row_read>& row = p.rows[static_cast<std::size_t>(r.dy - p.dy_lo)];
        if (length <= kDirectRun) {
            for (std::int64_t i = 0; i < length; ++i) row.push_back({-1, first + i});
            continue;
        }
        const auto [at, added] = index_of.try_emplace({r.x0, r.x1}, distinct.size());
        if (added) distinct.push_back(r);
        row.push_back({static_cast<std::int32_t>(at->second), 0});
    }
    // A uniform element keeps one more slot, and one more ring row when a
    // row reads more than one thing.
    bool uniform = height >= 2 && height <= kPairHeight;
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
    if ((height + uniform) * slot_cells > kRingBudget) return false;
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

}  // namespace

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

std::size_t height_of(const pass_plan& p) {
    return static_cast<std::size_t>(p.dy_hi - p.dy_lo + 1);
}

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

}  // namespace toolkit
