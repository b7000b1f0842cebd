// Script functions gamma and sigmoid, curves per component:
//   gamma(buf, x, y, w, h, gY, gCb, gCr)
//   sigmoid(buf, x, y, w, h, aY, aCb, aCr, cY, cCb, cCr)
#include "color/tone.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

int l_gamma(lua_State* L) {
    RegionCall call = begin_region_call(L);
    double gain[3];
    check_numbers(L, 6, 3, gain);
    if (resolve(L, call)) guarded(L, [&] { gamma_curve(call.frame, call.area, gain); });
    return 0;
}

int l_sigmoid(lua_State* L) {
    RegionCall call = begin_region_call(L);
    double gain[3], centre[3];
    check_numbers(L, 6, 3, gain);
    check_numbers(L, 9, 3, centre);
    if (resolve(L, call)) guarded(L, [&] { sigmoid_curve(call.frame, call.area, gain, centre); });
    return 0;
}

}  // namespace

const LibraryFunction tone_curve_functions[] = {
    {"gamma", l_gamma, {8}},
    {"sigmoid", l_sigmoid, {11}},
    {},
};
