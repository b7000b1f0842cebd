// Script function median(src, dst, sx, sy, w, h, dx, dy, kw, kh).
#include "filters/bindings.h"
#include "filters/median.h"

int l_median(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {10});
    const PairArgs args = read_pair_args(L);
    const int kw = check_int(L, 9), kh = check_int(L, 10);
    AreaJob job;
    if (!resolve_filter_job(L, r, args, job)) return 0;
    guarded(L, "median", [&] { median_region(job, kw, kh); });
    return 0;
}
