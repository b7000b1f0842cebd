#include "toolkit/labeling_strips.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>

#include "platform/thread_pool.h"
#include "toolkit/cell_runs.h"

namespace toolkit {

namespace {

// The union-find table: parent[i] <= i, roots are their own parent.
inline std::uint32_t find_root(const std::uint32_t* parent, std::uint32_t i) {
    while (parent[i] < i) i = parent[i];
    return i;
}

inline void set_root(std::uint32_t* parent, std::uint32_t i, std::uint32_t root) {
    while (parent[i] < i) {
        const std::uint32_t next = parent[i];
        parent[i] = root;
        i = next;
    }
    parent[i] = root;
}

// Joins the sets of i and j under the smaller root, which it returns.
inline std::uint32_t join(std::uint32_t* parent, std::uint32_t i, std::uint32_t j) {
    std::uint32_t root = find_root(parent, i);
    if (i != j) {
        const std::uint32_t other = find_root(parent, j);
        if (other < root) root = other;
        set_root(parent, j, root);
    }
    set_root(parent, i, root);
    return root;
}

template <foreground_cells Rule>
inline bool is_foreground(short v) {
    if constexpr (Rule == foreground_cells::positive)
        return v > 0;
    else if constexpr (Rule == foreground_cells::nonzero)
        return v != 0;
    else
        return v == 0;
}

// Whether the cell at x of a row starts a provisional label in one raster
// scan: foreground with no foreground among its earlier neighbours (left,
// above, and with 8-connectivity above-left and above-right).  `above` is
// null on the plane's first row.
template <foreground_cells Rule, bool Eight>
inline bool is_seed(const short* row, const short* above, std::size_t x, std::size_t w) {
    if (!is_foreground<Rule>(row[x]) || (x > 0 && is_foreground<Rule>(row[x - 1]))) return false;
    if (above == nullptr) return true;
    if (is_foreground<Rule>(above[x])) return false;
    if (Eight && ((x > 0 && is_foreground<Rule>(above[x - 1])) ||
                  (x + 1 < w && is_foreground<Rule>(above[x + 1]))))
        return false;
    return true;
}

using cell_run = strip_labeling::cell_run;

// Whether run r of the row above touches a run [x0, x1): shares a column,
// or with 8-connectivity a corner.
template <bool Eight>
inline bool ends_before(const cell_run& r, std::int32_t x0) {
    return Eight ? r.x1 < x0 : r.x1 <= x0;
}
template <bool Eight>
inline bool starts_within(const cell_run& r, std::int32_t x1) {
    return Eight ? r.x0 <= x1 : r.x0 < x1;
}

// One strip's scan, run by run: a run of foreground cells takes the label
// of the runs above that it touches, joined into one, or a new label when
// it touches none.  The strip's first row looks at nothing above it; those
// joins are made afterwards.  `seeds` counts the cells that one raster scan
// of the whole plane would give a new label (see is_seed).
template <foreground_cells Rule, bool Eight>
void scan_strip(const short* cells, std::ptrdiff_t stride, std::size_t w, std::uint32_t* parent,
                std::uint32_t* row_begin, std::uint32_t* row_end, std::size_t y0, std::size_t y1,
                std::uint32_t base, std::vector<cell_run>& runs, std::vector<std::uint32_t>& bounds,
                std::uint32_t& used, std::uint64_t& seeds) {
    std::uint32_t next = base;
    std::uint64_t seed_count = 0;
    runs.clear();
    for (std::size_t y = y0; y < y1; ++y) {
        const short* row = cells + static_cast<std::ptrdiff_t>(y) * stride;
        row_begin[y] = static_cast<std::uint32_t>(runs.size());
        std::size_t j = y > y0 ? row_begin[y - 1] : 0;
        const std::size_t j_end = y > y0 ? row_end[y - 1] : 0;
        const std::size_t row_runs = cell_runs(row, w, Rule, bounds.data());
        for (std::size_t r = 0; r < row_runs; ++r) {
            const std::size_t start = bounds[2 * r], end = bounds[2 * r + 1];
            const auto x0 = static_cast<std::int32_t>(start), x1 = static_cast<std::int32_t>(end);
            std::uint32_t l = 0;
            bool seed;
            if (y > y0) {
                while (j < j_end && ends_before<Eight>(runs[j], x0)) ++j;
                // The run's first cell has no earlier neighbour above it.
                seed = j == j_end || runs[j].x0 > (Eight ? x0 + 1 : x0);
                std::size_t k = j;
                for (; k < j_end && starts_within<Eight>(runs[k], x1); ++k)
                    l = l == 0 ? runs[k].label : join(parent, l, runs[k].label);
                // The last run touched may reach the next run too.
                if (k > j) j = k - 1;
            } else {
                seed = is_seed<Rule, Eight>(row, y > 0 ? row - stride : nullptr, start, w);
            }
            if (seed) ++seed_count;
            if (l == 0) {
                l = ++next;
                parent[l] = l;
            }
            runs.push_back({x0, x1, l});
        }
        row_end[y] = static_cast<std::uint32_t>(runs.size());
    }
    used = next - base;
    seeds = seed_count;
}

using scan_function = void (*)(const short*, std::ptrdiff_t, std::size_t, std::uint32_t*,
                               std::uint32_t*, std::uint32_t*, std::size_t, std::size_t,
                               std::uint32_t, std::vector<cell_run>&, std::vector<std::uint32_t>&,
                               std::uint32_t&, std::uint64_t&);

template <foreground_cells Rule>
scan_function scan_for(bool eight) {
    return eight ? &scan_strip<Rule, true> : &scan_strip<Rule, false>;
}

// Joins the runs of one row that touch runs of the row above.
template <bool Eight>
void join_rows(std::uint32_t* parent, const cell_run* above, std::size_t na, const cell_run* row,
               std::size_t n) {
    std::size_t j = 0;
    for (std::size_t i = 0; i < n; ++i) {
        while (j < na && ends_before<Eight>(above[j], row[i].x0)) ++j;
        std::size_t k = j;
        for (; k < na && starts_within<Eight>(above[k], row[i].x1); ++k)
            join(parent, row[i].label, above[k].label);
        if (k > j) j = k - 1;
    }
}

template <foreground_cells Rule>
bool seed_at(const short* row, const short* above, std::size_t x, std::size_t w, bool eight) {
    return eight ? is_seed<Rule, true>(row, above, x, w) : is_seed<Rule, false>(row, above, x, w);
}

bool seed_at(foreground_cells rule, const short* row, const short* above, std::size_t x,
             std::size_t w, bool eight) {
    switch (rule) {
        case foreground_cells::positive:
            return seed_at<foreground_cells::positive>(row, above, x, w, eight);
        case foreground_cells::nonzero:
            return seed_at<foreground_cells::nonzero>(row, above, x, w, eight);
        default:
            return seed_at<foreground_cells::zero>(row, above, x, w, eight);
    }
}

// The most labels a strip of `rows` rows of w cells can make: one a run,
// and a row has at most (w + 1) / 2 runs.
std::uint64_t label_bound(std::uint64_t w, std::uint64_t rows) { return rows * ((w + 1) / 2); }

// Calls body(k) for every strip k, the strips taken in turn on the pool.
// A strip the work deadline would skip runs here afterwards: the joins and
// the totals read every strip, and the labelling is one pass over the
// plane.
void on_strips(std::size_t count, const std::function<void(std::size_t)>& body) {
    if (count == 1) {
        body(0);
        return;
    }
    std::vector<char> ran(count, 0);
    pool::parallel_for(static_cast<int>(count), pool::Split{.grain = 1}, [&](const pool::Range& r) {
        for (int k = r.begin; k < r.end; ++k) {
            body(static_cast<std::size_t>(k));
            ran[static_cast<std::size_t>(k)] = 1;
        }
    });
    for (std::size_t k = 0; k < count; ++k)
        if (!ran[k]) body(k);
}

}  // namespace

std::size_t strip_labeling::run(const short* cells, std::ptrdiff_t stride, std::size_t w,
                                std::size_t h, foreground_cells rule, bool eight, std::uint32_t cap,
                                bool measures, std::uint32_t threads) {
    width_ = w;
    count_ = 0;
    const component_measure empty{0, std::numeric_limits<std::int32_t>::max(), -1,
                                  std::numeric_limits<std::int32_t>::max(), -1};
    measures_.assign(1, empty);
    row_strip_.assign(h, 0);
    row_begin_.assign(h, 0);
    row_end_.assign(h, 0);
    if (w == 0 || h == 0) return 0;
    if (threads == 0) threads = static_cast<std::uint32_t>(pool::worker_count());
    // Strips of at least a few rows: each costs a border to join.
    const std::size_t count = std::max<std::size_t>(1, std::min<std::size_t>(threads, h / 4));
    if (strips_.size() < count) strips_.resize(count);
    std::uint64_t labels_total = 1;
    for (std::size_t k = 0; k < count; ++k) {
        strip& s = strips_[k];
        if (s.bounds.size() < w + 1) s.bounds.resize(w + 1);
        s.y0 = h * k / count;
        s.y1 = h * (k + 1) / count;
        s.base = static_cast<std::uint32_t>(std::min<std::uint64_t>(labels_total - 1, 0xFFFFFFFFu));
        labels_total += label_bound(w, s.y1 - s.y0);
        std::fill(row_strip_.begin() + static_cast<std::ptrdiff_t>(s.y0),
                  row_strip_.begin() + static_cast<std::ptrdiff_t>(s.y1),
                  static_cast<std::uint32_t>(k));
    }
    // Labels, run indices and areas are held in 32 bits.
    if (labels_total > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) ||
        static_cast<std::uint64_t>(w) * h >
            static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        throw std::length_error("plane too large to label");
    if (parent_.size() < labels_total) parent_.resize(static_cast<std::size_t>(labels_total));
    parent_[0] = 0;

    scan_function scan =
        rule == foreground_cells::positive  ? scan_for<foreground_cells::positive>(eight)
        : rule == foreground_cells::nonzero ? scan_for<foreground_cells::nonzero>(eight)
                                            : scan_for<foreground_cells::zero>(eight);
    std::uint32_t* parent = parent_.data();
    on_strips(count, [&](std::size_t k) {
        strip& s = strips_[k];
        scan(cells, stride, w, parent, row_begin_.data(), row_end_.data(), s.y0, s.y1, s.base,
             s.runs, s.bounds, s.used, s.seeds);
    });

    // Runs that touch across a border.
    for (std::size_t k = 1; k < count; ++k) {
        const std::size_t y = strips_[k].y0;
        const cell_run* above = strips_[k - 1].runs.data() + row_begin_[y - 1];
        const cell_run* row = strips_[k].runs.data() + row_begin_[y];
        const std::size_t na = row_end_[y - 1] - row_begin_[y - 1], n = row_end_[y] - row_begin_[y];
        if (eight)
            join_rows<true>(parent, above, na, row, n);
        else
            join_rows<false>(parent, above, na, row, n);
    }

    // From the cap-th seed on, one raster scan gives every seed the same
    // label, which joins their components.  Rare (a counter of 16 bits), so
    // the runs are simply visited in scan order from the strip where the
    // cap is reached; a seed is always the first cell of a run.
    std::uint64_t seeds = 0;
    for (std::size_t k = 0; k < count; ++k) seeds += strips_[k].seeds;
    if (cap > 0 && seeds >= cap) {
        std::uint64_t index = 0;
        std::size_t k = 0;
        while (index + strips_[k].seeds < cap) index += strips_[k++].seeds;
        std::uint32_t first = 0;
        for (std::size_t y = strips_[k].y0; y < h; ++y) {
            const short* row = cells + static_cast<std::ptrdiff_t>(y) * stride;
            const short* above = y > 0 ? row - stride : nullptr;
            const std::vector<cell_run>& runs = strips_[row_strip_[y]].runs;
            for (std::uint32_t i = row_begin_[y]; i < row_end_[y]; ++i) {
                const cell_run& r = runs[i];
                if (!seed_at(rule, row, above, static_cast<std::size_t>(r.x0), w, eight) ||
                    ++index < cap)
                    continue;
                if (first == 0)
                    first = r.label;
                else
                    join(parent, first, r.label);
            }
        }
    }

    // Flatten: each root, in label order, takes the next number; every other
    // label the number of its root, which comes before it.
    std::uint32_t n = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const strip& s = strips_[k];
        for (std::uint32_t l = s.base + 1; l <= s.base + s.used; ++l)
            parent[l] = parent[l] < l ? parent[parent[l]] : ++n;
    }
    count_ = n;
    if (!measures) return n;

    // The measures of each strip's part, then of the whole.
    on_strips(count, [&](std::size_t k) {
        strip& s = strips_[k];
        s.measures.assign(n + 1, empty);
        for (std::size_t y = s.y0; y < s.y1; ++y) {
            const auto yy = static_cast<std::int32_t>(y);
            for (std::uint32_t i = row_begin_[y]; i < row_end_[y]; ++i) {
                const cell_run& r = s.runs[i];
                component_measure& m = s.measures[parent[r.label]];
                m.area += r.x1 - r.x0;
                m.min_x = std::min(m.min_x, r.x0);
                m.max_x = std::max(m.max_x, r.x1 - 1);
                m.min_y = std::min(m.min_y, yy);
                m.max_y = yy;
            }
        }
    });
    measures_.assign(n + 1, empty);
    for (std::size_t k = 0; k < count; ++k)
        for (std::size_t v = 1; v <= n; ++v) {
            const component_measure& p = strips_[k].measures[v];
            if (p.area == 0) continue;
            component_measure& m = measures_[v];
            m.area += p.area;
            m.min_x = std::min(m.min_x, p.min_x);
            m.max_x = std::max(m.max_x, p.max_x);
            m.min_y = std::min(m.min_y, p.min_y);
            m.max_y = std::max(m.max_y, p.max_y);
        }
    return n;
}

strip_labeling& thread_strip_labeling() {
    thread_local strip_labeling buffers;
    return buffers;
}

}  // namespace toolkit
