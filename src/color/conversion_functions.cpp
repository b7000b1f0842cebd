// Script functions that convert single colours: yc2rgb, rgb2yc, yc2hsv,
// hsv2yc.
//
// They take plain numbers and touch no buffer, so they check no argument
// count (extra arguments are ignored) and need no host records.
#include "buffers/numeric.h"
#include "color/convert.h"
#include "script/binding.h"
#include "script/library.h"

namespace {

void push_truncated(lua_State* L, const Triple& t) {
    lua_pushinteger(L, trunc_to_int(t.a));
    lua_pushinteger(L, trunc_to_int(t.b));
    lua_pushinteger(L, trunc_to_int(t.c));
}

// yc2rgb(y, cb, cr) -> r, g, b: fractions of the arguments are kept.
int l_yc2rgb(lua_State* L) {
    double yc[3];
    check_numbers(L, 1, 3, yc);
    push_truncated(L, yc_to_rgb(yc[0], yc[1], yc[2]));
    return 3;
}

// rgb2yc(r, g, b) -> y, cb, cr.
int l_rgb2yc(lua_State* L) {
    double rgb[3];
    check_numbers(L, 1, 3, rgb);
    push_truncated(L, rgb_to_yc(rgb[0], rgb[1], rgb[2]));
    return 3;
}

// yc2hsv(y, cb, cr) -> h, s, v: RGB is truncated before the HSV step, which
// clamps it to 0..4096.
int l_yc2hsv(lua_State* L) {
    double yc[3];
    check_numbers(L, 1, 3, yc);
    const Triple rgb = yc_to_rgb(yc[0], yc[1], yc[2]);
    push_truncated(L, rgb_to_hsv(trunc_to_int(rgb.a), trunc_to_int(rgb.b), trunc_to_int(rgb.c)));
    return 3;
}

// hsv2yc(h, s, v) -> y, cb, cr: the arguments are truncated first; RGB stays
// unrounded on its way back to YCbCr.
int l_hsv2yc(lua_State* L) {
    int hsv[3];
    check_ints(L, 1, 3, hsv);
    const Triple rgb = hsv_to_rgb(hsv[0], hsv[1], hsv[2]);
    push_truncated(L, rgb_to_yc(rgb.a, rgb.b, rgb.c));
    return 3;
}

}  // namespace

const LibraryFunction conversion_functions[] = {
    {"yc2rgb", l_yc2rgb, any_count},
    {"rgb2yc", l_rgb2yc, any_count},
    {"yc2hsv", l_yc2hsv, any_count},
    {"hsv2yc", l_hsv2yc, any_count},
    {},
};
