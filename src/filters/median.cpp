#include "filters/median.h"

#include <algorithm>

#include "buffers/work_plane.h"
#include "filters/work_area.h"
#include "toolkit/median.h"

void median_region(const FilterJob& job, int kw, int kh) {
    kw = std::clamp(kw, 1, std::max(job.source.max_w, 1));
    kh = std::clamp(kh, 1, std::max(job.source.max_h, 1));
    const int ex = kw / 2, ey = kh / 2;
    mist::array2<mist::rgb<short>> input, output;
    make_work_area(input, job.w, job.h, ex, ey);
    load_plane({job.source, job.picture_w, job.picture_h, static_cast<long long>(job.sx) - ex,
                static_cast<long long>(job.sy) - ey, Border::mirror},
               input);
    mist::median(input, output, static_cast<std::size_t>(kw), static_cast<std::size_t>(kh),
                 job.threads);
    store_rgb_region(output, ex, ey, job.w, job.h, job.destination, job.dx, job.dy);
}
