// Script functions merge_near, mkmask_near, merge_near_lab, mkmask_near_lab.
#include "mask/bindings.h"
#include "mask/near_merge.h"
#include "script/area_args.h"

namespace {

// merge_near*/mkmask_near*(a, b, dst, ax, ay, w, h, bx, by, dx, dy, Y0, Cb0,
// Cr0 [, w1, w2, w3 [, multiplier]]) or (..., w1, w2, w3, unused, p):
// 14, 17, 18 or 19 arguments.  The 19-argument form does not read
// argument 18; the multiplier stays 1 there.
template <void (*Kernel)(const Frame&, const Frame&, const Frame&, const TripleArea&,
                         const NearMerge&)>
int near_binding(lua_State* L, bool lab) {
    const HostRecords r = fetch_host_records(L);
    const int n = check_arg_count(L, {14, 17, 18, 19});
    const TripleArgs args = read_triple_args(L);
    NearMerge m;
    m.lab = lab;
    for (int c = 0; c < 3; ++c) m.key[c] = lab ? luaL_checknumber(L, 12 + c) : check_int(L, 12 + c);
    if (n >= 17)
        for (int c = 0; c < 3; ++c) m.weight[c] = luaL_checknumber(L, 15 + c);
    if (n == 18) m.multiplier = lab ? luaL_checknumber(L, 18) : check_int(L, 18);
    if (n == 19) m.exponent = luaL_checknumber(L, 19);
    Frame a, b, dst;
    TripleArea area;
    if (resolve_triple(L, r, args, a, b, dst, area)) Kernel(a, b, dst, area, m);
    return 0;
}

}  // namespace

int l_merge_near(lua_State* L) { return near_binding<merge_near>(L, false); }
int l_mkmask_near(lua_State* L) { return near_binding<mask_near>(L, false); }
int l_merge_near_lab(lua_State* L) { return near_binding<merge_near>(L, true); }
int l_mkmask_near_lab(lua_State* L) { return near_binding<mask_near>(L, true); }
