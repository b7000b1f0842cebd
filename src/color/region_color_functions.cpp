// Script functions of region colour: color, color_rgb, color_hsv,
// color_hsv_i, color_hsv_m, color_xyz, color_lab.  All take
// (buf, x, y, w, h, g1, g2, g3, o1, o2, o3) and return nothing.
#include "color/region_color.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

template <void (*Kernel)(const Frame&, const Region&, const ColorAdjust&)>
int region_color_binding(lua_State* L) {
    RegionCall call = begin_region_call(L);
    ColorAdjust adjust;
    check_numbers(L, 6, 3, adjust.gain);
    check_numbers(L, 9, 3, adjust.offset);
    if (resolve(L, call)) Kernel(call.frame, call.area, adjust);
    return 0;
}

}  // namespace

const LibraryFunction region_color_functions[] = {
    {"color", region_color_binding<color_yc>, {11}},
    {"color_rgb", region_color_binding<color_rgb>, {11}},
    {"color_hsv", region_color_binding<color_hsv>, {11}},
    {"color_hsv_i", region_color_binding<color_hsv_int>, {11}},
    {"color_hsv_m", region_color_binding<color_hsv_unit>, {11}},
    {"color_xyz", region_color_binding<color_xyz>, {11}},
    {"color_lab", region_color_binding<color_lab>, {11}},
    {},
};
