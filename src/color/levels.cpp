// normalize and binarize: legal colour range and a luma threshold.
#include "color/convert.h"
#include "buffers/numeric.h"
#include "buffers/rows.h"
#include "color/tone.h"

namespace {

inline int clamp_int(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

void normalize_gamut(const Frame& frame, const Region& region) {
    for_each_pixel(frame, region, [](PIXEL_YC& p) {
        const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
        // Into the RGB cube per component, then back: pixels inside it come
        // back through the truncating conversions, at most one unit lower.
        auto cube = [](double v) {
            const int t = trunc_to_int(v);
            return t > 4096 ? 4096 : (t <= 0 ? 0 : t);
        };
        const Triple yc = rgb_to_yc(cube(rgb.a), cube(rgb.b), cube(rgb.c));
        p.y = static_cast<std::int16_t>(clamp_int(trunc_to_int(yc.a), 0, 4096));
        p.cb = static_cast<std::int16_t>(clamp_int(trunc_to_int(yc.b), -2048, 2048));
        p.cr = static_cast<std::int16_t>(clamp_int(trunc_to_int(yc.c), -2048, 2048));
    });
}

void binarize_luma(const Frame& frame, const Region& region, int threshold) {
    for_each_pixel(frame, region, [threshold](PIXEL_YC& p) {
        p.y = p.y >= threshold ? 4096 : 0;
        p.cb = 0;
        p.cr = 0;
    });
}
