// Script functions merge_near, mkmask_near, merge_near_lab, mkmask_near_lab.
#include "mask/near_merge.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

// merge_near*/mkmask_near*(a, b, dst, ax, ay, w, h, bx, by, dx, dy, Y0, Cb0,
// Cr0 [, w1, w2, w3 [, multiplier]]) or (..., w1, w2, w3, unused, p):
// 14, 17, 18 or 19 arguments.  The 19-argument form does not read
// argument 18; the multiplier stays 1 there.
template <void (*Kernel)(const Frame&, const Frame&, const Frame&, const TripleArea&,
                         const NearMerge&),
          bool lab>
int near_binding(lua_State* L) {
    TripleCall call = begin_triple_call(L);
    const int n = call.count;
    NearMerge m;
    m.lab = lab;
    for (int c = 0; c < 3; ++c) m.key[c] = lab ? luaL_checknumber(L, 12 + c) : check_int(L, 12 + c);
    if (n >= 17)
        for (int c = 0; c < 3; ++c) m.weight[c] = luaL_checknumber(L, 15 + c);
    if (n == 18) m.multiplier = lab ? luaL_checknumber(L, 18) : check_int(L, 18);
    if (n == 19) m.exponent = luaL_checknumber(L, 19);
    if (resolve(L, call)) Kernel(call.a, call.b, call.dst, call.area, m);
    return 0;
}

}  // namespace

const LibraryFunction near_merge_functions[] = {
    {"merge_near", near_binding<merge_near, false>, {14, 17, 18, 19}},
    {"mkmask_near", near_binding<mask_near, false>, {14, 17, 18, 19}},
    {"merge_near_lab", near_binding<merge_near, true>, {14, 17, 18, 19}},
    {"mkmask_near_lab", near_binding<mask_near, true>, {14, 17, 18, 19}},
    {},
};
