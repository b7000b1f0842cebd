// The colour-key masks behind mkmask, mkmask_rgb, mkmask_hsv and
// mkmask_hsv_int: masks from a box of colour values, with an optional soft
// margin.
#include "mask/key_mask.h"

#include "buffers/rows.h"
#include "color/convert.h"

namespace {

// Per-pixel component rules, one per colour space.
struct YcComponents {
    IntTriple operator()(const PIXEL_YC& p) const { return {p.y, p.cb, p.cr}; }
};

struct RgbComponents {
    IntTriple operator()(const PIXEL_YC& p) const {
        const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
        return {trunc_to_int(rgb.a), trunc_to_int(rgb.b), trunc_to_int(rgb.c)};
    }
};

struct HsvComponents {
    IntTriple operator()(const PIXEL_YC& p) const {
        const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
        const Triple hsv = rgb_to_hsv(rgb.a, rgb.b, rgb.c);
        return {trunc_to_int(hsv.a), trunc_to_int(hsv.b), trunc_to_int(hsv.c)};
    }
};

struct HsvIntComponents {
    IntTriple operator()(const PIXEL_YC& p) const {
        const IntTriple rgb = RgbComponents{}(p);
        return rgb_to_hsv_int(rgb.a, rgb.b, rgb.c);
    }
};

// The one row loop of the colour keys.  With `hue_wraps` a hue range through
// 0 is unrolled as described in the header.
template <class Components>
void key_mask(const Frame& src, const Frame& dst, const PairArea& area, KeyBox box,
              bool hue_wraps) {
    const int wrap_from = box.lower[0];
    const bool shift_hue = hue_wraps && box.lower[0] > box.upper[0];
    if (shift_hue) box.lower[0] -= 3600;
    const Components components;
    for_each_pair(src, dst, area, [&](const PIXEL_YC& in, PIXEL_YC& out) {
        IntTriple c = components(in);
        if (shift_hue && c.a >= wrap_from) c.a -= 3600;
        put_grade(out, key_box_grade(c.a, c.b, c.c, box));
    });
}

}  // namespace

void key_mask_yc(const Frame& src, const Frame& dst, const PairArea& area, const KeyBox& box) {
    key_mask<YcComponents>(src, dst, area, box, false);
}
void key_mask_rgb(const Frame& src, const Frame& dst, const PairArea& area, const KeyBox& box) {
    key_mask<RgbComponents>(src, dst, area, box, false);
}
void key_mask_hsv(const Frame& src, const Frame& dst, const PairArea& area, const KeyBox& box) {
    key_mask<HsvComponents>(src, dst, area, box, true);
}
void key_mask_hsv_int(const Frame& src, const Frame& dst, const PairArea& area,
                      const KeyBox& box) {
    key_mask<HsvIntComponents>(src, dst, area, box, true);
}
