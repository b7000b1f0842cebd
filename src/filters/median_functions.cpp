// Script function median(src, dst, sx, sy, w, h, dx, dy, kw, kh).
#include <algorithm>

#include "filters/bindings.h"
#include "filters/median.h"

int l_median(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {10});
    const PairArgs args = read_pair_args(L);
    // A window larger than the region is the region: the cost, pixels times
    // window, stays bounded by the region.
    const int kw = std::min(check_int(L, 9), std::max(args.w, 1));
    const int kh = std::min(check_int(L, 10), std::max(args.h, 1));
    FilterJob job;
    if (!resolve_filter_job(L, r, args, job)) return 0;
    guarded(L, "median", [&] { median_region(job, kw, kh); });
    return 0;
}
