// posterize, posterize_rgb, posterize_hsv: quantisation to a number of levels
// in YCbCr, RGB or HSV.  Each value is moved to the nearest multiple of the
// step by adding half a step and dividing with truncation.
#include "color/convert.h"
#include "buffers/numeric.h"
#include "buffers/rows.h"
#include "color/tone.h"

int level_step(int levels, int range) {
    const int divisions = levels >= 2 ? levels - 1 : 1;
    const int step = range / divisions;
    return step == 0 ? 1 : step;
}

namespace {

struct Quantiser {
    int step, half, top;
    explicit Quantiser(int levels, int range)
        : step(level_step(levels, range)), half(step / 2), top(range) {}
    // (v + half) / step * step, limited to 0..top.
    int operator()(int v) const {
        const long long q = (static_cast<long long>(v) + half) / step * step;
        return static_cast<int>(q < 0 ? 0 : (q > top ? top : q));
    }
};

inline void store_yc(PIXEL_YC& p, double r, double g, double b) {
    const Triple yc = rgb_to_yc(r, g, b);
    p.y = to_component(yc.a);
    p.cb = to_component(yc.b);
    p.cr = to_component(yc.c);
}

}  // namespace

void posterize_yc(const Frame& frame, const Region& region, const int levels[3]) {
    const Quantiser qy(levels[0], 4096), qcb(levels[1], 4096), qcr(levels[2], 4096);
    for_each_pixel(frame, region, [=](PIXEL_YC& p) {
        p.y = low16(qy(p.y));
        p.cb = low16(qcb(p.cb + 2048) - 2048);
        p.cr = low16(qcr(p.cr + 2048) - 2048);
    });
}

void posterize_rgb(const Frame& frame, const Region& region, const int levels[3]) {
    const Quantiser qr(levels[0], 4096), qg(levels[1], 4096), qb(levels[2], 4096);
    for_each_pixel(frame, region, [=](PIXEL_YC& p) {
        const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
        store_yc(p, qr(trunc_to_int(rgb.a)), qg(trunc_to_int(rgb.b)), qb(trunc_to_int(rgb.c)));
    });
}

void posterize_hsv(const Frame& frame, const Region& region, const int levels[3]) {
    const Quantiser qh(levels[0], 3600), qs(levels[1], 4096), qv(levels[2], 4096);
    for_each_pixel(frame, region, [=](PIXEL_YC& p) {
        const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
        const Triple hsv = rgb_to_hsv(rgb.a, rgb.b, rgb.c);
        // trunc(H + step/2) / step * step: the half step is added to the
        // unrounded value before truncation.
        auto quantise = [](const Quantiser& q, double v) {
            const long long t = trunc_to_int(v + q.half);
            const long long r = t / q.step * q.step;
            return static_cast<double>(r < 0 ? 0 : (r > q.top ? q.top : r));
        };
        const Triple out = hsv_to_rgb(quantise(qh, hsv.a), quantise(qs, hsv.b), quantise(qv, hsv.c));
        store_yc(p, out.a, out.b, out.c);
    });
}
