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
        // The triple's buffers are source, destination and mask.
        TripleCall call(r, n, read_triple_args(L));
        const int a = n == 13 ? opacity12(luaL_checknumber(L, 12)) : 0;
        const int key = n == 13 ? check_int(L, 13) : 0;
        if (!resolve(L, call)) return 0;
        const MaskedArea area = masked_area(call.area);
        if (n == 13)
            alpha_masked_keyed(call.a, call.b, call.dst, area, a, key);
        else
            alpha_masked(call.a, call.b, call.dst, area);
        return 0;
    }
    PairCall call(r, n, read_pair_args(L));
    const int a = opacity12(luaL_checknumber(L, 9));
    const int key = n == 10 ? check_int(L, 10) : -32768;
    if (resolve(L, call)) alpha_constant(call.src, call.dst, call.area, a, key);
    return 0;
}

// alpha_yc / alpha_rgb(src, dst, x1, y1, w, h, x2, y2, o1, o2, o3)
template <void (*Kernel)(const Frame&, const Frame&, const PairArea&, int, int, int)>
int three_opacity_binding(lua_State* L) {
    PairCall call = begin_pair_call(L);
    int a[3];
    for (int k = 0; k < 3; ++k) a[k] = opacity12(luaL_checknumber(L, 9 + k));
    if (resolve(L, call)) Kernel(call.src, call.dst, call.area, a[0], a[1], a[2]);
    return 0;
}

}  // namespace

const LibraryFunction alpha_functions[] = {
    {"alpha", l_alpha, {9, 10, 11, 13}},
    {"alpha_yc", three_opacity_binding<alpha_yc>, {11}},
    {"alpha_rgb", three_opacity_binding<alpha_rgb>, {11}},
    {},
};
