// Script functions mkmask_diff, mkmask_diff_rgb, mkmask_diff_hsv,
// mkmask_diff_hsv_p, mkmask_diff_hsv_c, mkmask_diff_lab.
#include "mask/bindings.h"
#include "mask/difference_mask.h"
#include "script/area_args.h"

namespace {

// mkmask_diff*(a, b, dst, ax, ay, w, h, bx, by, dx, dy [, gain
//              [, weights... [, threshold]]]): 11, 12, 15 or 16 arguments,
// or 11, 12, 14 or 15 for the two-weight members (ws, wv).
int difference_binding(lua_State* L, MaskSpace space) {
    const HostRecords r = fetch_host_records(L);
    const bool two_weights = space == MaskSpace::HsvP || space == MaskSpace::HsvC;
    const int weights = two_weights ? 2 : 3;
    const int n =
        two_weights ? check_arg_count(L, {11, 12, 14, 15}) : check_arg_count(L, {11, 12, 15, 16});
    const TripleArgs args = read_triple_args(L);
    DifferenceMask m;
    m.space = space;
    if (n >= 12) m.gain = luaL_checknumber(L, 12);
    if (n >= 12 + weights)
        for (int k = 0; k < weights; ++k) m.weight[k] = luaL_checknumber(L, 13 + k);
    if (n == 13 + weights) {
        const int t = 13 + weights;
        m.threshold = space == MaskSpace::Lab ? luaL_checknumber(L, t) : check_int(L, t);
    }
    Frame a, b, dst;
    TripleArea area;
    if (resolve_triple(L, r, args, a, b, dst, area)) difference_mask(a, b, dst, area, m);
    return 0;
}

}  // namespace

int l_mkmask_diff(lua_State* L) { return difference_binding(L, MaskSpace::Yc); }
int l_mkmask_diff_rgb(lua_State* L) { return difference_binding(L, MaskSpace::Rgb); }
int l_mkmask_diff_hsv(lua_State* L) { return difference_binding(L, MaskSpace::Hsv); }
int l_mkmask_diff_hsv_p(lua_State* L) { return difference_binding(L, MaskSpace::HsvP); }
int l_mkmask_diff_hsv_c(lua_State* L) { return difference_binding(L, MaskSpace::HsvC); }
int l_mkmask_diff_lab(lua_State* L) { return difference_binding(L, MaskSpace::Lab); }
