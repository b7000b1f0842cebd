// Script function median(src, dst, sx, sy, w, h, dx, dy, kw, kh).
#include <algorithm>

#include "filters/median.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

int l_median(lua_State* L) {
    const PairCall call = begin_pair_call(L);
    const int kw = check_int(L, 9), kh = check_int(L, 10);
    AreaJob job;
    if (!resolve_area_job(L, call, job)) return 0;
    // A window larger than the region is the region: the cost, pixels times
    // window, stays bounded by the region.
    const int window_w = std::min(kw, job.w), window_h = std::min(kh, job.h);
    guarded(L, "median", [&] { median_region(job, window_w, window_h); });
    return 0;
}

}  // namespace

const LibraryFunction median_functions[] = {
    {"median", l_median, {10}},
    {},
};
