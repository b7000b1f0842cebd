// Script functions alpha, alpha_yc, alpha_rgb.
#include "draw/alpha.h"
#include "draw/blend.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

// alpha(src, dst, x1, y1, w, h, x2, y2, opacity [, key])
// alpha(src, dst, mask, x1, y1, w, h, x2, y2, x3, y3 [, opacity, key])
int l_alpha(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    const int n = check_arg_count(L);
    if (n >= 11) {
        const TripleArgs args = read_triple_args(L);
        const int a = n == 13 ? opacity12(luaL_checknumber(L, 12)) : 0;
        const int key = n == 13 ? check_int(L, 13) : 0;
        Frame src, dst, mask;
        TripleArea area;
        if (!resolve_triple(L, r, args, src, dst, mask, area)) return 0;
        if (n == 13)
            alpha_masked_keyed(src, dst, mask, masked_area(area), a, key);
        else
            alpha_masked(src, dst, mask, masked_area(area));
        return 0;
    }
    const PairArgs args = read_pair_args(L);
    const int a = opacity12(luaL_checknumber(L, 9));
    const int key = n == 10 ? check_int(L, 10) : -32768;
    Frame src, dst;
    PairArea area;
    if (resolve_pair(L, r, args, src, dst, area)) alpha_constant(src, dst, area, a, key);
    return 0;
}

// alpha_yc / alpha_rgb(src, dst, x1, y1, w, h, x2, y2, o1, o2, o3)
template <void (*Kernel)(const Frame&, const Frame&, const PairArea&, int, int, int)>
int three_opacity_binding(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L);
    const PairArgs args = read_pair_args(L);
    int a[3];
    for (int k = 0; k < 3; ++k) a[k] = opacity12(luaL_checknumber(L, 9 + k));
    Frame src, dst;
    PairArea area;
    if (resolve_pair(L, r, args, src, dst, area)) Kernel(src, dst, area, a[0], a[1], a[2]);
    return 0;
}

}  // namespace

const LibraryFunction alpha_functions[] = {
    {"alpha", l_alpha, {9, 10, 11, 13}},
    {"alpha_yc", three_opacity_binding<alpha_yc>, {11}},
    {"alpha_rgb", three_opacity_binding<alpha_rgb>, {11}},
    {},
};
