#include "filters/defocus.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "buffers/rows.h"
#include "buffers/work_plane.h"
#include "filters/work_area.h"
#include "platform/crt_random.h"
#include "toolkit/average.h"

void defocus_region(const FilterJob& job, int kw, int kh) {
    kw = std::clamp(kw, 1, std::max(job.source.max_w, 1));
    kh = std::clamp(kh, 1, std::max(job.source.max_h, 1));
    // The source window: the region and its boxes' reach, cut to the picture.
    const long long x0 = std::max<long long>(0, static_cast<long long>(job.sx) - kw / 2);
    const long long x1 = std::min<long long>(job.picture_w, static_cast<long long>(job.sx) + kw / 2 + job.w);
    const long long y0 = std::max<long long>(0, static_cast<long long>(job.sy) - kh / 2);
    const long long y1 = std::min<long long>(job.picture_h, static_cast<long long>(job.sy) + kh / 2 + job.h);
    if (x1 <= x0 || y1 <= y0) return;
    mist::array2<mist::rgb<short>> input, output;
    make_work_area(input, x1 - x0, y1 - y0, 0, 0);
    make_work_area(output, x1 - x0, y1 - y0, 0, 0);
    // Every cell lies inside the picture, so the copy reads straight across.
    load_plane({job.source, job.picture_w, job.picture_h, x0, y0, Border::mirror}, input);
    mist::average(input, output, static_cast<std::size_t>(kw), static_cast<std::size_t>(kh),
                  job.threads);
    store_rgb_region(output, static_cast<int>(job.sx - x0), static_cast<int>(job.sy - y0), job.w,
                     job.h, job.destination, job.dx, job.dy);
}

namespace {

// Coordinate v folded into a picture line of `length` pixels: period
// 2 length - 1; past the end it runs back from the last pixel, before the
// start from the second.
int fold(long long v, long long length) {
    const long long period = 2 * length - 1;
    long long m = v;
    if (m < 0 || m >= period) {
        m %= period;
        if (m < 0) m += period;
    }
    return static_cast<int>(m <= length - 1 ? m : period - m);
}

// A displacement of -reach..reach from a 15-bit random number.
long long offset(int random, int reach) {
    return ((static_cast<long long>(random) * (2LL * reach + 1)) >> 15) - reach;
}

}  // namespace

void diffuse_region(const Frame& source, const Frame& destination, int pw, int ph,
                    const PairArea& area, int rx, int ry) {
    if (area.w < 1 || area.h < 1 || pw < 1 || ph < 1) return;
    pw = std::min(pw, source.max_w);
    ph = std::min(ph, source.max_h);
    // Reading and writing one buffer at once would let a pick see a pixel
    // another thread has just replaced (or half replaced): read a copy.
    std::vector<PIXEL_YC> copy;
    const PIXEL_YC* picture = source.pixels;
    std::ptrdiff_t stride = source.max_w;
    if (source.pixels == destination.pixels) {
        copy.resize(static_cast<std::size_t>(pw) * static_cast<std::size_t>(ph));
        parallel_rows(ph, [&](int y) {
            std::copy(source.row(y), source.row(y) + pw, copy.data() + static_cast<std::ptrdiff_t>(y) * pw);
        });
        picture = copy.data();
        stride = pw;
    }
    parallel_ranges(area.h, [&](int begin, int end) {
        for (int i = begin; i < end; ++i) {
            PIXEL_YC* out = destination.row(area.dy + i) + area.dx;
            const long long y = static_cast<long long>(area.sy) + i;
            for (int j = 0; j < area.w; ++j) {
                const long long x = static_cast<long long>(area.sx) + j;
                // The runtime's per-thread generator, r1 before r2.
                const int r1 = platform::crt_rand();
                const int r2 = platform::crt_rand();
                const int column = fold(x + offset(r1, rx), pw);
                const int row = fold(y + offset(r2, ry), ph);
                out[j] = picture[row * stride + column];
            }
        }
    });
}
