// The blends behind alpha, alpha_yc and alpha_rgb: a source rectangle over a
// destination with a constant, per-component or per-pixel (mask) opacity.
#include "draw/alpha.h"

#include "buffers/numeric.h"
#include "color/convert.h"
#include "buffers/rows.h"
#include "draw/blend.h"

int opacity12(double opacity) { return trunc_to_int(opacity * 4096); }

namespace {

inline void blend_pixel(const PIXEL_YC& s, PIXEL_YC& d, int a) {
    d.y = blend12_low16(s.y, d.y, a);
    d.cb = blend12_low16(s.cb, d.cb, a);
    d.cr = blend12_low16(s.cr, d.cr, a);
}

}  // namespace

void alpha_constant(const Frame& src, const Frame& dst, const PairArea& area, int a, int key) {
    for_each_pair(src, dst, area, [a, key](const PIXEL_YC& s, PIXEL_YC& d) {
        if (s.y > key) blend_pixel(s, d, a);
    });
}

void alpha_masked(const Frame& src, const Frame& dst, const Frame& mask, const MaskedArea& area) {
    for_each_masked(src, dst, mask, area,
                [](const PIXEL_YC& s, PIXEL_YC& d, const PIXEL_YC& m) { blend_pixel(s, d, m.y); });
}

void alpha_masked_keyed(const Frame& src, const Frame& dst, const Frame& mask,
                        const MaskedArea& area, int a, int key) {
    for_each_masked(src, dst, mask, area, [a, key](const PIXEL_YC& s, PIXEL_YC& d, const PIXEL_YC& m) {
        if (m.y > key) blend_pixel(s, d, a);
    });
}

void alpha_yc(const Frame& src, const Frame& dst, const PairArea& area, int ay, int acb,
              int acr) {
    for_each_pair(src, dst, area, [=](const PIXEL_YC& s, PIXEL_YC& d) {
        d.y = static_cast<std::int16_t>(clamp16(blend12(s.y, d.y, ay)));
        d.cb = static_cast<std::int16_t>(clamp16(blend12(s.cb, d.cb, acb)));
        d.cr = static_cast<std::int16_t>(clamp16(blend12(s.cr, d.cr, acr)));
    });
}

void alpha_rgb(const Frame& src, const Frame& dst, const PairArea& area, int ar, int ag, int ab) {
    for_each_pair(src, dst, area, [=](const PIXEL_YC& s, PIXEL_YC& d) {
        const Triple sf = yc_to_rgb(s.y, s.cb, s.cr);
        const Triple df = yc_to_rgb(d.y, d.cb, d.cr);
        const double r =
            static_cast<double>(clamp16(blend12(trunc_to_int(sf.a), trunc_to_int(df.a), ar)));
        const double g =
            static_cast<double>(clamp16(blend12(trunc_to_int(sf.b), trunc_to_int(df.b), ag)));
        const double b =
            static_cast<double>(clamp16(blend12(trunc_to_int(sf.c), trunc_to_int(df.c), ab)));
        const Triple yc = rgb_to_yc(r, g, b);
        d.y = to_component(yc.a);
        d.cb = to_component(yc.b);
        d.cr = to_component(yc.c);
    });
}
