// Script functions of the mkmask_p and mkmask_l families: the twelve graded
// masks, one binding for all of them.
#include "mask/graded_mask.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

// mkmask_p*(src, dst, sx, sy, w, h, dx, dy, k1, k2, k3, inner [, outer
//           [, w1, w2, w3]]): 12, 13 or 16 arguments.
// mkmask_l*(src, dst, sx, sy, w, h, dx, dy, a1, a2, a3, b1, b2, b3, inner
//           [, outer [, w1, w2, w3]]): 15, 16 or 19 arguments.
template <MaskSpace space, bool line>
int graded_binding(lua_State* L) {
    const int keys = line ? 6 : 3;
    const int radius = 9 + keys;
    PairCall call = begin_pair_call(L);
    const int n = call.count;
    GradedMask m;
    m.space = space;
    m.line = line;
    check_ints(L, 9, 3, m.key_a);
    if (line) check_ints(L, 12, 3, m.key_b);
    m.inner = luaL_checknumber(L, radius);
    m.outer = n > radius ? luaL_checknumber(L, radius + 1) : m.inner;
    if (n == radius + 4)
        for (int k = 0; k < 3; ++k) m.weight[k] = luaL_checknumber(L, radius + 2 + k);
    if (resolve(L, call)) graded_mask(call.src, call.dst, call.area, m);
    return 0;
}

}  // namespace

const LibraryFunction graded_mask_functions[] = {
    {"mkmask_p", graded_binding<MaskSpace::Yc, false>, {12, 13, 16}},
    {"mkmask_p_rgb", graded_binding<MaskSpace::Rgb, false>, {12, 13, 16}},
    {"mkmask_p_hsv", graded_binding<MaskSpace::Hsv, false>, {12, 13, 16}},
    {"mkmask_p_hsv_p", graded_binding<MaskSpace::HsvP, false>, {12, 13, 16}},
    {"mkmask_p_hsv_c", graded_binding<MaskSpace::HsvC, false>, {12, 13, 16}},
    {"mkmask_p_lab", graded_binding<MaskSpace::Lab, false>, {12, 13, 16}},
    {"mkmask_l", graded_binding<MaskSpace::Yc, true>, {15, 16, 19}},
    {"mkmask_l_rgb", graded_binding<MaskSpace::Rgb, true>, {15, 16, 19}},
    {"mkmask_l_hsv", graded_binding<MaskSpace::Hsv, true>, {15, 16, 19}},
    {"mkmask_l_hsv_p", graded_binding<MaskSpace::HsvP, true>, {15, 16, 19}},
    {"mkmask_l_hsv_c", graded_binding<MaskSpace::HsvC, true>, {15, 16, 19}},
    {"mkmask_l_lab", graded_binding<MaskSpace::Lab, true>, {15, 16, 19}},
    {},
};
