// Script functions gamma and sigmoid, curves per component:
//   gamma(buf, x, y, w, h, gY, gCb, gCr)
//   sigmoid(buf, x, y, w, h, aY, aCb, aCr, cY, cCb, cCr)
#include "color/tone.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

int l_gamma(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L);
    const RegionArgs args = read_region_args(L);
    double gain[3];
    check_numbers(L, 6, 3, gain);
    Frame frame;
    Region area;
    if (resolve_region(L, r, args, frame, area))
        guarded(L, [&] { gamma_curve(frame, area, gain); });
    return 0;
}

int l_sigmoid(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L);
    const RegionArgs args = read_region_args(L);
    double gain[3], centre[3];
    check_numbers(L, 6, 3, gain);
    check_numbers(L, 9, 3, centre);
    Frame frame;
    Region area;
    if (resolve_region(L, r, args, frame, area))
        guarded(L, [&] { sigmoid_curve(frame, area, gain, centre); });
    return 0;
}

}  // namespace

const LibraryFunction tone_curve_functions[] = {
    {"gamma", l_gamma, {8}},
    {"sigmoid", l_sigmoid, {11}},
    {},
};
