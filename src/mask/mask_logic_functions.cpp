// Script functions mask_not, mask_and, mask_or, mask_sub, mask_xor.
#include "mask/bindings.h"
#include "mask/mask_logic.h"
#include "script/area_args.h"

namespace {

// mask_and / or / sub / xor(a, b, dst, ax, ay, w, h, bx, by, dx, dy)
int logic_binding(lua_State* L, MaskOp op) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {11});
    const TripleArgs args = read_triple_args(L);
    Frame a, b, dst;
    TripleArea area;
    if (resolve_triple(L, r, args, a, b, dst, area)) mask_logic(op, a, b, dst, area);
    return 0;
}

}  // namespace

// mask_not(src, dst, sx, sy, w, h, dx, dy)
int l_mask_not(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {8});
    const PairArgs args = read_pair_args(L);
    Frame src, dst;
    PairArea area;
    if (resolve_pair(L, r, args, src, dst, area)) mask_not(src, dst, area);
    return 0;
}

int l_mask_and(lua_State* L) { return logic_binding(L, MaskOp::And); }
int l_mask_or(lua_State* L) { return logic_binding(L, MaskOp::Or); }
int l_mask_sub(lua_State* L) { return logic_binding(L, MaskOp::Sub); }
int l_mask_xor(lua_State* L) { return logic_binding(L, MaskOp::Xor); }
