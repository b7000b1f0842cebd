// apply_func, functoy, functoy_p: a script function called once per pixel of
// a region, in raster order on the script's thread.
//
// The callback runs through lua_call, so an error inside it unwinds straight
// out of the binding: Lua restores its stack to the level of the enclosing
// protected call, and the pixels written before the error keep their new
// values.  That jump skips C++ destructors, so everything alive across a
// callback here is trivially destructible (checked below).
//
// A callback may release the buffer being written (releasebuf) or exchange
// the host's frames (swapbuf).  After every call the buffer number is
// resolved again; when it no longer names the storage being written, the
// function stops with the buffer-missing error instead of writing into
// memory that may be gone.
#include <cmath>
#include <type_traits>

#include "buffers/numeric.h"
#include "script/area_args.h"
#include "script/library.h"

static_assert(std::is_trivially_destructible_v<RegionCall>);

namespace {

constexpr int kFuncArg = 6;

// The common start: buffer, region, and the callback in argument 6.
RegionCall begin_callback_call(lua_State* L) {
    const RegionCall call = begin_region_call(L);
    luaL_checktype(L, kFuncArg, LUA_TFUNCTION);
    return call;
}

// Raises the buffer error when the call's buffer number no longer names the
// storage being written.
void check_still_there(lua_State* L, const RegionCall& call) {
    const int n = call.args.buffer;
    PIXEL_YC* now = call.records.lfip->get_buffer ? call.records.lfip->get_buffer(n) : nullptr;
    if (now != call.frame.pixels) luaL_error(L, "バッファが存在しません[%d]", n);
}

// A callback's result as a component: a non-number counts as 0, values are
// limited to the 16-bit range (NaN, being not above -32768, to -32768) and
// truncated toward zero.
std::int16_t result_component(lua_State* L, int index) {
    const double v = lua_tonumber(L, index);
    if (v > 32767) return 32767;
    if (!(v > -32768)) return -32768;
    return static_cast<std::int16_t>(v);
}

// The grade of functoy and functoy_p: value / scale limited to 0..4096 and
// truncated (NaN gives 0).
std::int16_t grade(double value, double scale) {
    double v = value / scale;
    if (v < 0) v = 0;
    if (v > 4096) v = 4096;
    return static_cast<std::int16_t>(trunc_to_int(v));
}

enum class Coordinates { cartesian, polar };

// functoy and functoy_p: func(X, Y) or func(radius, angle) per pixel, with
// X, Y relative to (cx, cy) in the clipped region; the result / scale is the
// pixel's mask grade.
int functoy_common(lua_State* L, Coordinates coordinates) {
    RegionCall call = begin_callback_call(L);
    const int cx = check_int(L, 7);
    const int cy = check_int(L, 8);
    const double scale = call.count == 9 ? luaL_checknumber(L, 9) : 1.0;
    if (!resolve(L, call)) return 0;
    const Frame& frame = call.frame;
    const Region& region = call.area;
    for (int i = 0; i < region.h; ++i)
        for (int j = 0; j < region.w; ++j) {
            // In double: cx may be any int, and j - cx must not overflow.
            const double X = static_cast<double>(j) - cx;
            const double Y = static_cast<double>(i) - cy;
            lua_pushvalue(L, kFuncArg);
            if (coordinates == Coordinates::cartesian) {
                lua_pushnumber(L, X);
                lua_pushnumber(L, Y);
            } else {
                lua_pushnumber(L, std::sqrt(X * X + Y * Y));
                lua_pushnumber(L, std::atan2(Y, X));
            }
            lua_call(L, 2, 1);
            const std::int16_t g = grade(lua_tonumber(L, -1), scale);
            lua_pop(L, 1);
            check_still_there(L, call);
            PIXEL_YC& p = frame.at(region.x + j, region.y + i);
            p.y = g;
            p.cb = 0;
            p.cr = 0;
        }
    return 0;
}

// apply_func(buffer, x, y, w, h, func): func(column, row, y, cb, cr) returns
// the pixel's new y, cb, cr.
int l_apply_func(lua_State* L) {
    RegionCall call = begin_callback_call(L);
    if (!resolve(L, call)) return 0;
    const Frame& frame = call.frame;
    const Region& region = call.area;
    for (int i = 0; i < region.h; ++i)
        for (int j = 0; j < region.w; ++j) {
            const PIXEL_YC before = frame.at(region.x + j, region.y + i);
            lua_pushvalue(L, kFuncArg);
            lua_pushinteger(L, j);
            lua_pushinteger(L, i);
            lua_pushinteger(L, before.y);
            lua_pushinteger(L, before.cb);
            lua_pushinteger(L, before.cr);
            lua_call(L, 5, 3);
            const PIXEL_YC after = {result_component(L, -3), result_component(L, -2),
                                    result_component(L, -1)};
            lua_pop(L, 3);
            check_still_there(L, call);
            frame.at(region.x + j, region.y + i) = after;
        }
    return 0;
}

int l_functoy(lua_State* L) { return functoy_common(L, Coordinates::cartesian); }
int l_functoy_p(lua_State* L) { return functoy_common(L, Coordinates::polar); }

}  // namespace

const LibraryFunction pixel_callback_functions[] = {
    {"apply_func", l_apply_func, {6}},
    {"functoy", l_functoy, {8, 9}},
    {"functoy_p", l_functoy_p, {8, 9}},
    {},
};
