// Script functions mask_not, mask_and, mask_or, mask_sub, mask_xor.
#include "mask/mask_logic.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

// mask_and / or / sub / xor(a, b, dst, ax, ay, w, h, bx, by, dx, dy)
template <MaskOp op>
int logic_binding(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L);
    const TripleArgs args = read_triple_args(L);
    Frame a, b, dst;
    TripleArea area;
    if (resolve_triple(L, r, args, a, b, dst, area)) mask_logic(op, a, b, dst, area);
    return 0;
}

// mask_not(src, dst, sx, sy, w, h, dx, dy)
int l_mask_not(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L);
    const PairArgs args = read_pair_args(L);
    Frame src, dst;
    PairArea area;
    if (resolve_pair(L, r, args, src, dst, area)) mask_not(src, dst, area);
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
