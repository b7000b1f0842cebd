// Script functions mask_not, mask_and, mask_or, mask_sub, mask_xor.
#include "mask/mask_logic.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

// mask_and / or / sub / xor(a, b, dst, ax, ay, w, h, bx, by, dx, dy)
template <MaskOp op>
int logic_binding(lua_State* L) {
    TripleCall call = begin_triple_call(L);
    if (resolve(L, call)) mask_logic(op, call.a, call.b, call.dst, call.area);
    return 0;
}

// mask_not(src, dst, sx, sy, w, h, dx, dy)
int l_mask_not(lua_State* L) {
    PairCall call = begin_pair_call(L);
    if (resolve(L, call)) mask_not(call.src, call.dst, call.area);
    return 0;
}

}  // namespace

const LibraryFunction mask_logic_functions[] = {
    {"mask_not", l_mask_not, {8}},
    {"mask_and", logic_binding<MaskOp::And>, {11}},
    {"mask_or", logic_binding<MaskOp::Or>, {11}},
    {"mask_sub", logic_binding<MaskOp::Sub>, {11}},
    {"mask_xor", logic_binding<MaskOp::Xor>, {11}},
    {},
};
