// Script function gaussian(src, dst, sx, sy, w, h, dx, dy, sigma).
#include <cmath>

#include "filters/gaussian.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

int l_gaussian(lua_State* L) {
    const PairCall call = begin_pair_call(L);
    const double sigma = luaL_checknumber(L, 9);
    // A negative sigma has no kernel, and an infinite or undefined one no
    // extent: such a call is a mistake in the script, not a blur.
    if (!(sigma >= 0) || !std::isfinite(sigma))
        luaL_argerror(L, 9, "sigma must be a finite number, 0 or more");
    AreaJob job;
    if (resolve_area_job(L, call, job))
        guarded(L, "gaussian", [&] { gaussian_region(job, sigma); });
    return 0;
}

}  // namespace

const LibraryFunction gaussian_functions[] = {
    {"gaussian", l_gaussian, {9}},
    {},
};
