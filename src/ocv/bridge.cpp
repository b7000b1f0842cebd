#include "ocv/bridge.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include "buffers/region.h"
#include "buffers/rows.h"
#include "ocv/bridge_rows.h"
#include "ocv/opencv_calls.h"

namespace {

// Where the clipped region meets the image: image pixel (ix + j, iy + i)
// belongs to buffer pixel (bx + j, by + i) for j < w, i < h.
struct Overlap {
    int bx = 0, by = 0, ix = 0, iy = 0, w = 0, h = 0;
    bool empty() const { return w < 1 || h < 1; }
    bool whole(int W, int H) const { return ix == 0 && iy == 0 && w == W && h == H; }
};

// The source side: the buffer position first, against the buffer.
Overlap source_overlap(const AreaJob& job) {
    Overlap o{job.sx, job.sy, 0, 0, job.w, job.h};
    clip_region_pair(o.bx, o.by, o.ix, o.iy, o.w, o.h, job.source.max_w, job.source.max_h, job.w,
                     job.h);
    return o;
}

// The destination side: the image origin first, against the image.
Overlap destination_overlap(const AreaJob& job) {
    Overlap o{job.dx, job.dy, 0, 0, job.w, job.h};
    clip_region_pair(o.ix, o.iy, o.bx, o.by, o.w, o.h, job.w, job.h, job.destination.max_w,
                     job.destination.max_h);
    return o;
}

}  // namespace

void canny_region(const AreaJob& job, double threshold1, double threshold2, int aperture) {
    const std::size_t count = static_cast<std::size_t>(job.w) * static_cast<std::size_t>(job.h);
    const Overlap in = source_overlap(job);
    // Pixels the source does not cover are 0; OpenCV writes every edge pixel.
    std::unique_ptr<std::uint8_t[]> input(in.whole(job.w, job.h) ? new std::uint8_t[count]
                                                                 : new std::uint8_t[count]());
    std::unique_ptr<std::uint8_t[]> edges(new std::uint8_t[count]);
    if (!in.empty())
        parallel_rows(in.h, [&](int i) {
            y_to_bytes(job.source.row(in.by + i) + in.bx,
                       input.get() + static_cast<std::size_t>(in.iy + i) * job.w + in.ix,
                       static_cast<std::size_t>(in.w));
        });
    const std::size_t stride = static_cast<std::size_t>(job.w);
    opencv_canny({input.get(), job.w, job.h, stride}, {edges.get(), job.w, job.h, stride},
                 threshold1, threshold2, aperture);
    const Overlap out = destination_overlap(job);
    if (out.empty()) return;
    parallel_rows(out.h, [&](int i) {
        bytes_to_mask(edges.get() + static_cast<std::size_t>(out.iy + i) * job.w + out.ix,
                      job.destination.row(out.by + i) + out.bx, static_cast<std::size_t>(out.w));
    });
}

void flip_test_region(const AreaJob& job) {
    const std::size_t count = static_cast<std::size_t>(job.w) * static_cast<std::size_t>(job.h);
    // y, cb, cr are three 16-bit values in a row, as the image's channels.
    std::unique_ptr<PIXEL_YC[]> image(new PIXEL_YC[count]());
    const Overlap in = source_overlap(job);
    if (!in.empty())
        parallel_rows(in.h, [&](int i) {
            const PIXEL_YC* s = job.source.row(in.by + i) + in.bx;
            std::copy(s, s + in.w,
                      image.get() + static_cast<std::size_t>(in.iy + i) * job.w + in.ix);
        });
    opencv_flip_rows(
        {image.get(), job.w, job.h, static_cast<std::size_t>(job.w) * sizeof(PIXEL_YC)});
    const Overlap out = destination_overlap(job);
    if (out.empty()) return;
    parallel_rows(out.h, [&](int i) {
        const PIXEL_YC* s = image.get() + static_cast<std::size_t>(out.iy + i) * job.w + out.ix;
        std::copy(s, s + out.w, job.destination.row(out.by + i) + out.bx);
    });
}
