// Script functions that convert single colours and read or write one pixel:
// yc2rgb, rgb2yc, yc2hsv, hsv2yc, get_yc, set_yc.
//
// The four conversions take plain numbers and touch no buffer, so they check
// no argument count (extra arguments are ignored) and need no host records.
#include "buffers/numeric.h"
#include "color/bindings.h"
#include "color/convert.h"
#include "script/binding.h"

namespace {

void push_ints(lua_State* L, int a, int b, int c) {
    lua_pushinteger(L, a);
    lua_pushinteger(L, b);
    lua_pushinteger(L, c);
}

void push_truncated(lua_State* L, const Triple& t) {
    push_ints(L, trunc_to_int(t.a), trunc_to_int(t.b), trunc_to_int(t.c));
}

}  // namespace

// yc2rgb(y, cb, cr) -> r, g, b: fractions of the arguments are kept.
int l_yc2rgb(lua_State* L) {
    const double y = luaL_checknumber(L, 1);
    const double cb = luaL_checknumber(L, 2);
    const double cr = luaL_checknumber(L, 3);
    push_truncated(L, yc_to_rgb(y, cb, cr));
    return 3;
}

// rgb2yc(r, g, b) -> y, cb, cr.
int l_rgb2yc(lua_State* L) {
    const double r = luaL_checknumber(L, 1);
    const double g = luaL_checknumber(L, 2);
    const double b = luaL_checknumber(L, 3);
    push_truncated(L, rgb_to_yc(r, g, b));
    return 3;
}

// yc2hsv(y, cb, cr) -> h, s, v: RGB is truncated before the HSV step, which
// clamps it to 0..4096.
int l_yc2hsv(lua_State* L) {
    const double y = luaL_checknumber(L, 1);
    const double cb = luaL_checknumber(L, 2);
    const double cr = luaL_checknumber(L, 3);
    const Triple rgb = yc_to_rgb(y, cb, cr);
    push_truncated(L, rgb_to_hsv(trunc_to_int(rgb.a), trunc_to_int(rgb.b), trunc_to_int(rgb.c)));
    return 3;
}

// hsv2yc(h, s, v) -> y, cb, cr: the arguments are truncated first; RGB stays
// unrounded on its way back to YCbCr.
int l_hsv2yc(lua_State* L) {
    const int h = check_int(L, 1);
    const int s = check_int(L, 2);
    const int v = check_int(L, 3);
    const Triple rgb = hsv_to_rgb(h, s, v);
    push_truncated(L, rgb_to_yc(rgb.a, rgb.b, rgb.c));
    return 3;
}

// get_yc(buffer, x, y) -> y, cb, cr, or three nils outside the buffer's
// storage (max_w x max_h, not only the visible picture).
int l_get_yc(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {3});
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
    push_ints(L, p.y, p.cb, p.cr);
    return 3;
}

// set_yc(buffer, x, y, Y, Cb, Cr): stores the low 16 bits of each value;
// a position outside the buffer's storage is ignored.
int l_set_yc(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {6});
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
