// mask_not, mask_and, mask_or, mask_sub, mask_xor.
#include "mask/mask_logic.h"

#include "buffers/rows.h"
#include "script/area_args.h"
#include "script/binding.h"

int mask_combine(MaskOp op, int a, int b) {
    // Grades are 16-bit, so the products of and, or and sub fit 32 bits.
    // The second stage of xor multiplies values up to about 3 * 10^5 and is
    // done in 64 bits; wherever 32 bits did not overflow the result is the
    // same.
    switch (op) {
        case MaskOp::And:
            return (a * b) >> 12;
        case MaskOp::Or:
            return 4096 - (((4096 - a) * (4096 - b)) >> 12);
        case MaskOp::Sub:
            return (a * (4096 - b)) >> 12;
        case MaskOp::Xor: {
            const long long u = ((4096 - a) * b) >> 12;
            const long long v = ((4096 - b) * a) >> 12;
            return static_cast<int>(4096 - (((4096 - u) * (4096 - v)) >> 12));
        }
    }
    return 0;
}

void mask_not(const Frame& src, const Frame& dst, const PairArea& area) {
    for_each_pair(src, dst, area,
                  [](const PIXEL_YC& s, PIXEL_YC& d) { put_grade(d, 4096 - s.y); });
}

namespace {

template <MaskOp Op>
void combine_rows(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area) {
    for_each_triple(a, b, dst, area, [](const PIXEL_YC& pa, const PIXEL_YC& pb, PIXEL_YC& d) {
        put_grade(d, mask_combine(Op, pa.y, pb.y));
    });
}

template <MaskOp Op>
int logic_binding(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {11});
    const TripleArgs args = read_triple_args(L);
    Frame a, b, dst;
    TripleArea area;
    if (resolve_triple(L, r, args, a, b, dst, area)) combine_rows<Op>(a, b, dst, area);
    return 0;
}

}  // namespace

void mask_logic(MaskOp op, const Frame& a, const Frame& b, const Frame& dst,
                const TripleArea& area) {
    switch (op) {
        case MaskOp::And: return combine_rows<MaskOp::And>(a, b, dst, area);
        case MaskOp::Or: return combine_rows<MaskOp::Or>(a, b, dst, area);
        case MaskOp::Sub: return combine_rows<MaskOp::Sub>(a, b, dst, area);
        case MaskOp::Xor: return combine_rows<MaskOp::Xor>(a, b, dst, area);
    }
}

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

// mask_and / or / sub / xor(a, b, dst, ax, ay, w, h, bx, by, dx, dy)
int l_mask_and(lua_State* L) { return logic_binding<MaskOp::And>(L); }
int l_mask_or(lua_State* L) { return logic_binding<MaskOp::Or>(L); }
int l_mask_sub(lua_State* L) { return logic_binding<MaskOp::Sub>(L); }
int l_mask_xor(lua_State* L) { return logic_binding<MaskOp::Xor>(L); }
