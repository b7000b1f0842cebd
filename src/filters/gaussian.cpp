#include "filters/gaussian.h"

#include "buffers/work_plane.h"
#include "filters/work_area.h"
#include "toolkit/gaussian_blur.h"

void gaussian_region(const AreaJob& job, double sigma) {
    toolkit::grid<toolkit::rgb<float>> image;
    make_work_area(image, job.w, job.h, 0, 0);
    load_rgbf_region(job.source, job.picture_w, job.picture_h, job.sx, job.sy, image);
    toolkit::gaussian_blur(image, sigma, job.threads);
    store_rgbf_region(image, 0, 0, job.w, job.h, job.destination, job.dx, job.dy);
}
