// Script functions of the mkmask_p and mkmask_l families: the twelve graded
// masks, one binding for all of them.
#include "mask/bindings.h"
#include "mask/graded_mask.h"
#include "script/area_args.h"

namespace {

// mkmask_p*(src, dst, sx, sy, w, h, dx, dy, k1, k2, k3, inner [, outer
//           [, w1, w2, w3]]): 12, 13 or 16 arguments.
// mkmask_l*(src, dst, sx, sy, w, h, dx, dy, a1, a2, a3, b1, b2, b3, inner
//           [, outer [, w1, w2, w3]]): 15, 16 or 19 arguments.
int graded_binding(lua_State* L, MaskSpace space, bool line) {
    const HostRecords r = fetch_host_records(L);
    const int keys = line ? 6 : 3;
    const int radius = 9 + keys;
    const int n = line ? check_arg_count(L, {15, 16, 19}) : check_arg_count(L, {12, 13, 16});
    const PairArgs args = read_pair_args(L);
    GradedMask m;
    m.space = space;
    m.line = line;
    check_ints(L, 9, 3, m.key_a);
    if (line) check_ints(L, 12, 3, m.key_b);
    m.inner = luaL_checknumber(L, radius);
    m.outer = n > radius ? luaL_checknumber(L, radius + 1) : m.inner;
    if (n == radius + 4)
        for (int k = 0; k < 3; ++k) m.weight[k] = luaL_checknumber(L, radius + 2 + k);
    Frame src, dst;
    PairArea area;
    if (resolve_pair(L, r, args, src, dst, area)) graded_mask(src, dst, area, m);
    return 0;
}

}  // namespace

int l_mkmask_p(lua_State* L) { return graded_binding(L, MaskSpace::Yc, false); }
int l_mkmask_p_rgb(lua_State* L) { return graded_binding(L, MaskSpace::Rgb, false); }
int l_mkmask_p_hsv(lua_State* L) { return graded_binding(L, MaskSpace::Hsv, false); }
int l_mkmask_p_hsv_p(lua_State* L) { return graded_binding(L, MaskSpace::HsvP, false); }
int l_mkmask_p_hsv_c(lua_State* L) { return graded_binding(L, MaskSpace::HsvC, false); }
int l_mkmask_p_lab(lua_State* L) { return graded_binding(L, MaskSpace::Lab, false); }
int l_mkmask_l(lua_State* L) { return graded_binding(L, MaskSpace::Yc, true); }
int l_mkmask_l_rgb(lua_State* L) { return graded_binding(L, MaskSpace::Rgb, true); }
int l_mkmask_l_hsv(lua_State* L) { return graded_binding(L, MaskSpace::Hsv, true); }
int l_mkmask_l_hsv_p(lua_State* L) { return graded_binding(L, MaskSpace::HsvP, true); }
int l_mkmask_l_hsv_c(lua_State* L) { return graded_binding(L, MaskSpace::HsvC, true); }
int l_mkmask_l_lab(lua_State* L) { return graded_binding(L, MaskSpace::Lab, true); }
