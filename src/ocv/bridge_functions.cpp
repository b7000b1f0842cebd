// Script functions of the OpenCV bridge:
//   cvcanny(src, dst, sx, sy, w, h, dx, dy, threshold1, threshold2 [, aperture = 3])
//   ocvtest(src, dst, sx, sy, w, h, dx, dy)
#include "ocv/bridge.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

int l_cvcanny(lua_State* L) {
    const PairCall call = begin_pair_call(L);
    const double threshold1 = luaL_checknumber(L, 9);
    const double threshold2 = luaL_checknumber(L, 10);
    const int aperture = call.count == 11 ? check_int(L, 11) : 3;
    AreaJob job;
    if (resolve_area_job(L, call, job))
        guarded(L, "cvcanny", [&] { canny_region(job, threshold1, threshold2, aperture); });
    return 0;
}

int l_ocvtest(lua_State* L) { return area_function(L, "ocvtest", flip_test_region); }

}  // namespace

const LibraryFunction bridge_functions[] = {
    {"ocvtest", l_ocvtest, {8}},
    {"cvcanny", l_cvcanny, {10, 11}},
    {},
};
