// Script functions mkmask_diff, mkmask_diff_rgb, mkmask_diff_hsv,
// mkmask_diff_hsv_p, mkmask_diff_hsv_c, mkmask_diff_lab.
#include "mask/difference_mask.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

// mkmask_diff*(a, b, dst, ax, ay, w, h, bx, by, dx, dy [, gain
//              [, weights... [, threshold]]]): 11, 12, 15 or 16 arguments,
// or 11, 12, 14 or 15 for the two-weight members (ws, wv).
template <MaskSpace space>
int difference_binding(lua_State* L) {
    const int weights = space == MaskSpace::HsvP || space == MaskSpace::HsvC ? 2 : 3;
    TripleCall call = begin_triple_call(L);
    const int n = call.count;
    DifferenceMask m;
    m.space = space;
    if (n >= 12) m.gain = luaL_checknumber(L, 12);
    if (n >= 12 + weights)
        for (int k = 0; k < weights; ++k) m.weight[k] = luaL_checknumber(L, 13 + k);
    if (n == 13 + weights) {
        const int t = 13 + weights;
        m.threshold = space == MaskSpace::Lab ? luaL_checknumber(L, t) : check_int(L, t);
    }
    if (resolve(L, call)) difference_mask(call.a, call.b, call.dst, call.area, m);
    return 0;
}

}  // namespace

const LibraryFunction difference_mask_functions[] = {
    {"mkmask_diff", difference_binding<MaskSpace::Yc>, {11, 12, 15, 16}},
    {"mkmask_diff_rgb", difference_binding<MaskSpace::Rgb>, {11, 12, 15, 16}},
    {"mkmask_diff_hsv", difference_binding<MaskSpace::Hsv>, {11, 12, 15, 16}},
    {"mkmask_diff_hsv_p", difference_binding<MaskSpace::HsvP>, {11, 12, 14, 15}},
    {"mkmask_diff_hsv_c", difference_binding<MaskSpace::HsvC>, {11, 12, 14, 15}},
    {"mkmask_diff_lab", difference_binding<MaskSpace::Lab>, {11, 12, 15, 16}},
    {},
};
