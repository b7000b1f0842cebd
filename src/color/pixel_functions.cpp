// Script functions that read or write one pixel: get_yc and set_yc.
#include "buffers/numeric.h"
#include "script/binding.h"
#include "script/library.h"

namespace {

// Checks the count and reads `count` integer arguments into v, the first
// three naming a buffer and a position in it: the pixel there, or null
// outside the buffer's storage (max_w x max_h, not only the picture).
PIXEL_YC* check_pixel(lua_State* L, int count, int* v) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L);
    check_ints(L, 1, count, v);
    const Frame f = require_frame(L, r, v[0]);
    return f.contains(v[1], v[2]) ? &f.at(v[1], v[2]) : nullptr;
}

// get_yc(buffer, x, y) -> y, cb, cr, or three nils outside the buffer.
int l_get_yc(lua_State* L) {
    int v[3];
    const PIXEL_YC* p = check_pixel(L, 3, v);
    if (p == nullptr) {
        lua_pushnil(L);
        lua_pushnil(L);
        lua_pushnil(L);
    } else {
        lua_pushinteger(L, p->y);
        lua_pushinteger(L, p->cb);
        lua_pushinteger(L, p->cr);
    }
    return 3;
}

// set_yc(buffer, x, y, Y, Cb, Cr): stores the low 16 bits of each value;
// a position outside the buffer is ignored.
int l_set_yc(lua_State* L) {
    int v[6];
    if (PIXEL_YC* p = check_pixel(L, 6, v)) *p = {low16(v[3]), low16(v[4]), low16(v[5])};
    return 0;
}

}  // namespace

const LibraryFunction pixel_functions[] = {
    {"get_yc", l_get_yc, {3}},
    {"set_yc", l_set_yc, {6}},
    {},
};
