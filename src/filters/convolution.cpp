#include "filters/convolution.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>

#include "buffers/work_plane.h"
#include "filters/work_area.h"
#include "toolkit/convolution_filter.h"

namespace {

void convolve_region(const AreaJob& job, const toolkit::grid<double>& kernel, int rows, int cols) {
    const long long mx = (static_cast<long long>(cols) + 1) / 2;
    const long long my = (static_cast<long long>(rows) + 1) / 2;
    toolkit::grid<toolkit::rgb<short>> input, output;
    make_work_area(input, job.w, job.h, mx, my);
    make_work_area(output, job.w, job.h, mx, my);
    load_plane({job.source, job.picture_w, job.picture_h, job.sx - mx, job.sy - my,
                toolkit::border_rule::mirror},
               input);
    toolkit::convolve(input, output, kernel, job.threads);
    store_rgb_region(output, static_cast<int>(mx), static_cast<int>(my), job.w, job.h,
                     job.destination, job.dx, job.dy);
}

}  // namespace

void linear_region(const AreaJob& job, const double* cells, int rows, int cols) {
    toolkit::grid<double> kernel(static_cast<std::size_t>(std::max(cols, 0)),
                                 static_cast<std::size_t>(std::max(rows, 0)));
    if (kernel.empty() && rows > 0 && cols > 0) throw std::length_error("kernel too large");
    if (!kernel.empty()) std::copy(cells, cells + kernel.size(), kernel.data());
    convolve_region(job, kernel, rows, cols);
}

void laplacian_region(const AreaJob& job) {
    toolkit::grid<double> kernel(3, 3);
    kernel.fill(1);
    kernel(1, 1) = -8;
    convolve_region(job, kernel, 3, 3);
}
