// The plan of a morphology pass: which level and which cells every output
// row reads, worked out once per call and shared read-only by the range
// bodies (toolkit/morphology_passes.cpp), and the buffers a body keeps.
//
// Every source row is first given a level 0: the row itself (with the
// neutral cells the caller keeps beside it, if any), or a copy with neutral
// cells where the windows reach beyond the plane.  Level k, built in place
// from level k - 1, holds at t the extreme of the cells t .. t + 2^k - 1 of
// level 0, so a run of length L is the extreme of two reads of level
// floor(log2 L), overlapping in the middle.  A chunk of output rows is
// computed in one of two orders:
//  - row by row (the usual case): the source rows under the element are
//    kept in a ring, each with the extreme over every distinct long run of
//    the element computed once; an output row is then one pass that takes
//    the extreme of a few ring rows (and of short runs read straight from
//    level 0).  When every element row reads the same (rectangles), two
//    output rows are made at once and share the rows between them.  An
//    opening or closing chains two such passes: the first pass's rows go
//    into a second small ring that the second pass reads, so the
//    intermediate plane never exists as a whole;
//  - source by source (elements whose ring would not fit in a few
//    megabytes): each source row's levels are built once and each run is
//    merged into the output row it belongs to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "toolkit/border.h"
#include "toolkit/grey_morphology.h"
#include "toolkit/plane_view.h"

namespace toolkit::morphology_detail {

// Runs up to this length are read cell by cell from level 0 when an output
// row is combined; longer ones once per source row into the ring.
constexpr std::int64_t kDirectRun = 3;

// The most cells a chunk body's ring may hold before the source-by-source
// order (or, for two passes, two separate passes) is used instead.
constexpr std::size_t kRingBudget = std::size_t{4} << 20;

// The tallest rectangle whose output rows are made two at a time.
constexpr std::size_t kPairHeight = 8;

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
// cells; shared read-only by the chunk bodies.
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

// The buffers of one pass in a chunk body.
struct stage_scratch {
    std::vector<short> level;
    std::vector<short> ring;
    std::vector<const short*> ring_row0;
    std::vector<const short*> ring_source;
    std::vector<const short*> reads;
};

// A thread's buffers, kept from call to call.
struct chunk_scratch {
    stage_scratch first, second;
    std::vector<short> mid;
    std::vector<std::uint8_t> touched;
};

// The chunk bodies: output rows [y0, y1) of a job, with a thread's buffers.
enum class pass_kind { erosion, dilation, opening, closing };
using chunk_function = void (*)(const pass_job&, std::size_t, std::size_t, chunk_scratch&);

// The body of `kind` for the processor at hand (vector code chosen at run
// time).
chunk_function chunk_body(pass_kind kind);

enum class planned { neutral, constant, by_rows, by_sources, too_large };

// Plans one pass of an out_w x out_h block at (ox, oy) over an in_w x in_h
// plane whose rows have `in_margin` neutral cells beside them.  Row by row
// when the ring fits; otherwise source by source, or too_large when that is
// not allowed.  neutral: no window reaches the plane; constant: every
// window covers all of it.
planned make_plan(pass_plan& p, long long in_w, long long in_h, std::size_t in_margin, long long ox,
                  long long oy, std::size_t out_w, std::size_t out_h,
                  const morphology_runs& element, bool sources_allowed);

// The element rows a plan reads.
std::size_t height_of(const pass_plan& p);

// The element's runs that some output of an out_w x out_h block at (ox, oy)
// can bring onto an in_w x in_h plane, cut to that, in row order, and the
// offsets that can: x in [ux_lo, ux_hi], y in [uy_lo, uy_hi].  The rest of
// the element only ever reads neutral cells.
std::vector<morphology_run> useful_runs(const morphology_runs& element, long long in_w,
                                        long long in_h, long long ox, long long oy,
                                        std::size_t out_w, std::size_t out_h, long long* ux_lo,
                                        long long* ux_hi, long long* uy_lo, long long* uy_hi);

}  // namespace toolkit::morphology_detail
