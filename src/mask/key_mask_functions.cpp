// Script functions mkmask, mkmask_rgb, mkmask_hsv, mkmask_hsv_int.
#include "mask/key_mask.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

// mkmask*(src, dst, sx, sy, w, h, dx, dy, l1, l2, l3, u1, u2, u3
//         [, in, out [, margin]]): 14, 16 or 17 arguments.
template <void (*Kernel)(const Frame&, const Frame&, const PairArea&, const KeyBox&), bool hue>
int key_mask_binding(lua_State* L) {
    PairCall call = begin_pair_call(L);
    const int n = call.count;
    KeyBox box;
    for (int k = 0; k < 3; ++k) box.lower[k] = check_int(L, 9 + k);
    for (int k = 0; k < 3; ++k) box.upper[k] = check_int(L, 12 + k);
    if (n == 17) box.margin = check_int(L, 17);
    if (n >= 16) {
        box.in = low16(check_int(L, 15));
        box.out = low16(check_int(L, 16));
    }
    if (hue) {
        box.lower[0] = reduce_hue(box.lower[0]);
        box.upper[0] = reduce_hue(box.upper[0]);
    }
    if (resolve(L, call)) Kernel(call.src, call.dst, call.area, box);
    return 0;
}

}  // namespace

const LibraryFunction key_mask_functions[] = {
    {"mkmask", key_mask_binding<key_mask_yc, false>, {14, 16, 17}},
    {"mkmask_rgb", key_mask_binding<key_mask_rgb, false>, {14, 16, 17}},
    {"mkmask_hsv", key_mask_binding<key_mask_hsv, true>, {14, 16, 17}},
    {"mkmask_hsv_int", key_mask_binding<key_mask_hsv_int, true>, {14, 16, 17}},
    {},
};
