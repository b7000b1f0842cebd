// Script functions of connected-component labelling:
//   label4 / label8(src, dst, sx, sy, w, h, dx, dy
//                   [, min_area, max_area, min_w, max_w, min_h, max_h])
//       -> { {label=, area=, x=, y=, width=, height=}, ... }, largest first
//   label2mask(src, dst, sx, sy, w, h, dx, dy, labels)   labels: table or number
//   remove_hole(src, dst, sx, sy, w, h, dx, dy)
#include <cstring>

#include "buffers/numeric.h"
#include "mask/label.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

void set_field(lua_State* L, const char* key, lua_Integer value) {
    lua_pushinteger(L, value);
    lua_setfield(L, -2, key);
}

// label4 and label8 take any number of the six limits, from the left.
int label_function(lua_State* L, bool eight_connected, const char* name) {
    const PairCall call = begin_pair_call(L);
    int bound[6] = {0, 2147483647, 0, 2147483647, 0, 2147483647};
    for (int k = 9; k <= call.count; ++k) bound[k - 9] = check_int(L, k);
    const ComponentLimits limits{bound[0], bound[1], bound[2], bound[3], bound[4], bound[5]};
    AreaJob job;
    if (!resolve_area_job(L, call, job)) return 0;

    // The results live in Lua-owned memory so that building the result
    // table, which may raise, leaves nothing to free.
    const std::int32_t capacity = component_capacity(job.w, job.h);
    auto* found = static_cast<ComponentInfo*>(
        lua_newuserdata(L, static_cast<std::size_t>(capacity) * sizeof(ComponentInfo) + 1));
    std::int32_t count = 0;
    guarded(L, name, [&] { count = label_region(job, eight_connected, limits, found); });

    lua_createtable(L, count, 0);
    for (std::int32_t k = 0; k < count; ++k) {
        const ComponentInfo& c = found[k];
        lua_createtable(L, 0, 6);
        set_field(L, "label", c.label);
        set_field(L, "area", c.area);
        set_field(L, "x", static_cast<lua_Integer>(c.x));
        set_field(L, "y", static_cast<lua_Integer>(c.y));
        set_field(L, "width", c.width);
        set_field(L, "height", c.height);
        lua_rawseti(L, -2, k + 1);
    }
    return 1;
}

int l_label4(lua_State* L) { return label_function(L, false, "label4"); }
int l_label8(lua_State* L) { return label_function(L, true, "label8"); }

// label2mask: a mask of 4096 where the source's y is one of the labels.
int l_label2mask(lua_State* L) {
    const PairCall call = begin_pair_call(L);
    // One flag per 16-bit value, in Lua-owned memory.
    auto* selected = static_cast<std::uint8_t*>(lua_newuserdata(L, 65536));
    std::memset(selected, 0, 65536);
    auto select = [&](int label) {
        if (label >= -32768 && label <= 32767) selected[label + 32768] = 1;
    };
    if (lua_istable(L, 9)) {
        const int count = static_cast<int>(lua_objlen(L, 9));
        if (count < 1) return luaL_argerror(L, 9, "テーブルの形式が不適切です");
        for (int k = 1; k <= count; ++k) {
            lua_rawgeti(L, 9, k);
            select(trunc_to_int(lua_tonumber(L, -1)));
            lua_pop(L, 1);
        }
    } else {
        select(check_int(L, 9));
    }
    AreaJob job;
    if (resolve_area_job(L, call, job))
        guarded(L, "label2mask", [&] { label_to_mask(job, selected); });
    return 0;
}

// remove_hole: fills every background region but the largest.
int l_remove_hole(lua_State* L) { return area_function(L, "remove_hole", remove_holes); }

}  // namespace

const LibraryFunction label_functions[] = {
    {"label4", l_label4, {8, 9, 10, 11, 12, 13, 14}},
    {"label8", l_label8, {8, 9, 10, 11, 12, 13, 14}},
    {"label2mask", l_label2mask, {9}},
    {"remove_hole", l_remove_hole, {8}},
    {},
};
