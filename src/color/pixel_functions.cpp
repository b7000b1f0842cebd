// Script functions that read or write one pixel: get_yc and set_yc.
#include "buffers/numeric.h"
#include "script/binding.h"
#include "script/library.h"

namespace {

// get_yc(buffer, x, y) -> y, cb, cr, or three nils outside the buffer's
// storage (max_w x max_h, not only the visible picture).
int l_get_yc(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L);
    int v[3];
    check_ints(L, 1, 3, v);
    const Frame f = require_frame(L, r, v[0]);
    if (!f.contains(v[1], v[2])) {
        lua_pushnil(L);
        lua_pushnil(L);
        lua_pushnil(L);
        return 3;
    }
    const PIXEL_YC& p = f.at(v[1], v[2]);
    lua_pushinteger(L, p.y);
    lua_pushinteger(L, p.cb);
    lua_pushinteger(L, p.cr);
    return 3;
}

// set_yc(buffer, x, y, Y, Cb, Cr): stores the low 16 bits of each value;
// a position outside the buffer's storage is ignored.
int l_set_yc(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L);
    int v[6];
    check_ints(L, 1, 6, v);
    const Frame f = require_frame(L, r, v[0]);
    if (!f.contains(v[1], v[2])) return 0;
    PIXEL_YC& p = f.at(v[1], v[2]);
    p.y = low16(v[3]);
    p.cb = low16(v[4]);
    p.cr = low16(v[5]);
    return 0;
}

}  // namespace

const LibraryFunction pixel_functions[] = {
    {"get_yc", l_get_yc, {3}},
    {"set_yc", l_set_yc, {6}},
    {},
};
