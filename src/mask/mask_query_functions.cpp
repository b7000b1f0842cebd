// Script functions mask_range and mask_center.
#include "mask/mask_query.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

// Both queries: mask, x, y, w, h, threshold; no early return for an empty
// size, so the buffer is always resolved.
struct QueryArgs {
    Frame mask;
    Region area;
    int threshold;
};

QueryArgs read_query(lua_State* L) {
    const RegionCall call = begin_region_call(L);
    const int threshold = check_int(L, 6);
    const Frame mask = require_frame(L, call.records, call.args.buffer);
    Region area = call.args.region;
    clip_region(area, mask.max_w, mask.max_h);
    return {mask, area, threshold};
}

// mask_range(mask, x, y, w, h, threshold) -> x, y, w, h or four nils
int l_mask_range(lua_State* L) {
    const QueryArgs q = read_query(L);
    Region box;
    if (!mask_range(q.mask, q.area, q.threshold, &box)) {
        for (int k = 0; k < 4; ++k) lua_pushnil(L);
        return 4;
    }
    lua_pushinteger(L, box.x);
    lua_pushinteger(L, box.y);
    lua_pushinteger(L, box.w);
    lua_pushinteger(L, box.h);
    return 4;
}

// mask_center(mask, x, y, w, h, threshold) -> x, y or two nils
int l_mask_center(lua_State* L) {
    const QueryArgs q = read_query(L);
    double cx = 0, cy = 0;
    if (!mask_center(q.mask, q.area, q.threshold, &cx, &cy)) {
        lua_pushnil(L);
        lua_pushnil(L);
        return 2;
    }
    lua_pushnumber(L, cx);
    lua_pushnumber(L, cy);
    return 2;
}

}  // namespace

const LibraryFunction mask_query_functions[] = {
    {"mask_range", l_mask_range, {6}},
    {"mask_center", l_mask_center, {6}},
    {},
};
