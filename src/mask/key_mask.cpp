// mkmask, mkmask_rgb, mkmask_hsv, mkmask_hsv_int: masks from a box of
// colour values, with an optional soft margin.
#include "mask/key_mask.h"

#include "buffers/rows.h"
#include "color/convert.h"
#include "script/area_args.h"
#include "script/binding.h"

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

// mkmask*(src, dst, sx, sy, w, h, dx, dy, l1, l2, l3, u1, u2, u3
//         [, in, out [, margin]]): 14, 16 or 17 arguments.
template <class Components>
int key_mask_binding(lua_State* L, bool hue) {
    const HostRecords r = fetch_host_records(L);
    const int n = check_arg_count(L, {14, 16, 17});
    const PairArgs args = read_pair_args(L);
    KeyBox box;
    for (int k = 0; k < 3; ++k) box.lower[k] = check_int(L, 9 + k);
    for (int k = 0; k < 3; ++k) box.upper[k] = check_int(L, 12 + k);
    if (n == 17) box.margin = check_int(L, 17);
    if (n >= 16) {
        box.in = low16(check_int(L, 15));
        box.out = low16(check_int(L, 16));
    }
    if (hue) {
        box.lower[0] = reduce_hue(box.lower[0]);
        box.upper[0] = reduce_hue(box.upper[0]);
    }
    Frame src, dst;
    PairArea area;
    if (!resolve_pair(L, r, args, src, dst, area)) return 0;
    key_mask<Components>(src, dst, area, box, hue);
    return 0;
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

int l_mkmask(lua_State* L) { return key_mask_binding<YcComponents>(L, false); }
int l_mkmask_rgb(lua_State* L) { return key_mask_binding<RgbComponents>(L, false); }
int l_mkmask_hsv(lua_State* L) { return key_mask_binding<HsvComponents>(L, true); }
int l_mkmask_hsv_int(lua_State* L) { return key_mask_binding<HsvIntComponents>(L, true); }
