// The morphology routines: the jobs of one or two passes shared out by the
// pool's range call, and the whole-array forms.
#include "toolkit/grey_morphology.h"

#include <algorithm>
#include <vector>

#include "platform/thread_pool.h"
#include "toolkit/filter_call.h"
#include "toolkit/morphology_plan.h"

namespace toolkit {

namespace morphology_detail {

namespace {

void fill_plane(const plane_view& v, short value) {
    for (std::size_t y = 0; y < v.height; ++y) std::fill(v.row(y), v.row(y) + v.width, value);
}

short plane_extreme(const plane_view& v, bool erode) {
    short best = erode ? kErosionFill : kDilationFill;
    for (std::size_t y = 0; y < v.height; ++y) {
        const short* row = v.row(y);
        if (erode)
            best = std::min(best, *std::min_element(row, row + v.width));
        else
            best = std::max(best, *std::max_element(row, row + v.width));
    }
    return best;
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

}  // namespace

}  // namespace morphology_detail

void morphology_pass(const plane_view& in, long long origin_x, long long origin_y,
                     const plane_view& out, const morphology_runs& element, bool erode,
                     std::uint32_t threads, std::size_t in_margin) {
    using namespace morphology_detail;
    if (out.width == 0 || out.height == 0) return;
    pass_plan p;
    switch (make_plan(p, static_cast<long long>(in.width), static_cast<long long>(in.height),
                      in_margin, origin_x, origin_y, out.width, out.height, element, true)) {
        case planned::neutral:
            fill_plane(out, erode ? kErosionFill : kDilationFill);
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
    run_job(j, height_of(p), threads, chunk_body(erode ? pass_kind::erosion : pass_kind::dilation));
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
                    chunk_body(first_erodes ? pass_kind::opening : pass_kind::closing));
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

// One or two passes from `in` into `out`.
bool from_to(const grid<short>& in, grid<short>& out, const morphology_runs& e,
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

bool erosion(const grid<short>& in, grid<short>& out, const morphology_runs& e,
             std::uint32_t threads) {
    return from_to(in, out, e, threads, 1, true);
}
bool dilation(const grid<short>& in, grid<short>& out, const morphology_runs& e,
              std::uint32_t threads) {
    return from_to(in, out, e, threads, 1, false);
}
bool opening(const grid<short>& in, grid<short>& out, const morphology_runs& e,
             std::uint32_t threads) {
    return from_to(in, out, e, threads, 2, true);
}
bool closing(const grid<short>& in, grid<short>& out, const morphology_runs& e,
             std::uint32_t threads) {
    return from_to(in, out, e, threads, 2, false);
}

}  // namespace toolkit
