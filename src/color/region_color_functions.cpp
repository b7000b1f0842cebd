// Script bindings of the region colour functions: color, color_rgb,
// color_hsv, color_hsv_i, color_hsv_m, color_xyz, color_lab.  All take
// (buffer, x, y, w, h, g1, g2, g3, o1, o2, o3) and return nothing.
#include "color/bindings.h"
#include "color/region_color.h"
#include "script/area_args.h"

namespace {

template <void (*Kernel)(const Frame&, const Region&, const ColorAdjust&)>
int region_color_binding(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {11});
    const RegionArgs args = read_region_args(L);
    ColorAdjust adjust;
    for (int k = 0; k < 3; ++k) adjust.gain[k] = luaL_checknumber(L, 6 + k);
    for (int k = 0; k < 3; ++k) adjust.offset[k] = luaL_checknumber(L, 9 + k);
    Frame frame;
    Region area;
    if (resolve_region(L, r, args, frame, area)) Kernel(frame, area, adjust);
    return 0;
}

}  // namespace

int l_color(lua_State* L) { return region_color_binding<color_yc>(L); }
int l_color_rgb(lua_State* L) { return region_color_binding<color_rgb>(L); }
int l_color_hsv(lua_State* L) { return region_color_binding<color_hsv>(L); }
int l_color_hsv_i(lua_State* L) { return region_color_binding<color_hsv_int>(L); }
int l_color_hsv_m(lua_State* L) { return region_color_binding<color_hsv_unit>(L); }
int l_color_xyz(lua_State* L) { return region_color_binding<color_xyz>(L); }
int l_color_lab(lua_State* L) { return region_color_binding<color_lab>(L); }
