#include "filters/gaussian.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "buffers/plane_rows.h"
#include "buffers/region.h"
#include "buffers/work_plane.h"
#include "filters/work_area.h"
#include "platform/thread_pool.h"
#include "toolkit/filter_call.h"
#include "toolkit/filter_rows.h"
#include "toolkit/gaussian_blur.h"

namespace {

// Streaming keeps the rows the column kernel spans, in double, once per
// slot: beyond this many the whole work array is the smaller copy.
constexpr std::size_t kMostStreamedRows = 65;

// The lines one slot of the streamed blur works in.
struct GaussianLines {
    std::vector<toolkit::rgb<float>> pixels;  // a work row as loaded, then as filtered
    std::vector<double> line;                 // a work row widened to double
    std::vector<double> ring;                 // the row-filtered rows the column taps span
    std::vector<const double*> taps;          // a row or a column pointer per tap
    std::size_t loaded = 0;                   // the next work row to filter into the ring
};

// The blur without a work array: each range loads the work rows its output
// rows need (the region, mirrored beyond the picture, exactly as the array
// would hold them), runs the row pass on each as it comes, keeps the results
// widened in its slot's ring, and sums each output row's column taps from
// there straight into the destination.  Every element gets the operations
// of the two passes over the array, in the same order.
void gaussian_streamed(const AreaJob& job,
                       const toolkit::linear_filter::separable_gaussian_pass& pass,
                       std::size_t ring_rows) {
    const std::size_t W = static_cast<std::size_t>(job.w), H = static_cast<std::size_t>(job.h);
    int ox = 0, oy = 0, dx = job.dx, dy = job.dy, w = job.w, h = job.h;
    clip_region_pair(ox, oy, dx, dy, w, h, job.w, job.h, job.destination.max_w,
                     job.destination.max_h);
    if (w < 1 || h < 1) return;
    const PlaneRows plane(
        {job.source, job.picture_w, job.picture_h, job.sx, job.sy, toolkit::border_rule::mirror},
        job.w);
    const std::size_t row_taps = 2 * pass.kernel_x->reach + 1;
    const std::size_t n = 3 * W;
    const pool::Split split{
        .jobs = toolkit::filter_jobs(job.threads),
        .cost = 2.0 * static_cast<double>(n) * static_cast<double>(row_taps + ring_rows)};
    std::vector<GaussianLines> lines(static_cast<std::size_t>(pool::slots(h, split)));
    for (GaussianLines& l : lines) {
        l.pixels.resize(W);
        l.line.resize(n);
        l.ring.resize(ring_rows * n);
        l.taps.resize(std::max(row_taps, ring_rows));
    }
    const std::ptrdiff_t r = static_cast<std::ptrdiff_t>(pass.kernel_y->radius);
    pool::parallel_for(h, split, [&](const pool::Range& range) {
        GaussianLines& l = lines[static_cast<std::size_t>(range.slot)];
        auto ring_row = [&](std::size_t k) { return l.ring.data() + k % ring_rows * n; };
        if (!range.continues)
            l.loaded = static_cast<std::size_t>(std::max<std::ptrdiff_t>(oy + range.begin - r, 0));
        float* components = &l.pixels[0].r;
        for (int i = range.begin; i < range.end; ++i) {
            const std::size_t y = static_cast<std::size_t>(oy + i);
            const auto taps = pass.taps_of_row(y, H);
            for (; l.loaded <= y + static_cast<std::size_t>(taps.hi); ++l.loaded) {
                plane.load(static_cast<int>(l.loaded), l.pixels.data());
                toolkit::row_kernels::widen(components, l.line.data(), n);
                pass.row(l.line.data(), components, W, l.taps.data());
                toolkit::row_kernels::widen(components, ring_row(l.loaded), n);
            }
            for (std::ptrdiff_t t = taps.lo; t <= taps.hi; ++t)
                l.taps[static_cast<std::size_t>(t - taps.lo)] =
                    ring_row(static_cast<std::size_t>(static_cast<std::ptrdiff_t>(y) + t)) + 3 * ox;
            pass.column(taps, l.taps.data(), components, 3 * static_cast<std::size_t>(w));
            rgbf_to_yc_row(l.pixels.data(), job.destination.row(dy + i) + dx,
                           static_cast<std::size_t>(w));
        }
    });
}

}  // namespace

void gaussian_region(const AreaJob& job, double sigma) {
    const toolkit::gaussian_kernel kx =
        toolkit::make_gaussian_kernel(sigma, 1.0, static_cast<std::size_t>(std::max(job.w, 1) - 1));
    const toolkit::gaussian_kernel ky =
        toolkit::make_gaussian_kernel(sigma, 1.0, static_cast<std::size_t>(std::max(job.h, 1) - 1));
    const std::size_t ring_rows =
        toolkit::linear_filter::gaussian_ring_rows(ky.radius, static_cast<std::size_t>(job.h));
    if (!job.reads_back() && ring_rows <= kMostStreamedRows && job.w > 0 && job.h > 0) {
        const toolkit::linear_filter::separable_gaussian_pass pass{nullptr, &kx, &ky};
        return gaussian_streamed(job, pass, ring_rows);
    }
    // Source and destination share memory, or the kernel is long: through
    // a whole work array.
    toolkit::grid<toolkit::rgb<float>> image;
    make_work_area(image, job.w, job.h, 0, 0);
    load_rgbf_region(job.source, job.picture_w, job.picture_h, job.sx, job.sy, image);
    toolkit::gaussian_blur(image, sigma, job.threads);
    store_rgbf_region(image, 0, 0, job.w, job.h, job.destination, job.dx, job.dy);
}
