// Script functions of the OpenCV bridge:
//   cvcanny(src, dst, sx, sy, w, h, dx, dy, threshold1, threshold2 [, aperture = 3])
//   ocvtest(src, dst, sx, sy, w, h, dx, dy)
#include <algorithm>

#include "ocv/bindings.h"
#include "ocv/bridge.h"
#include "script/area_args.h"
#include "script/binding.h"

namespace {

// False (nothing to do, no buffer resolved) for w or h below 1; otherwise
// the size cut to the buffer and src, then dst, resolved.
bool resolve_bridge_job(lua_State* L, const HostRecords& r, const PairArgs& args, AreaJob& job) {
    if (args.w < 1 || args.h < 1) return false;
    job.w = std::min(args.w, r.fpip->max_w);
    job.h = std::min(args.h, r.fpip->max_h);
    job.sx = args.sx;
    job.sy = args.sy;
    job.dx = args.dx;
    job.dy = args.dy;
    job.source = require_frame(L, r, args.src);
    job.destination = require_frame(L, r, args.dst);
    return true;
}

}  // namespace

int l_cvcanny(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    const int n = check_arg_count(L, {10, 11});
    const PairArgs args = read_pair_args(L);
    const double threshold1 = luaL_checknumber(L, 9);
    const double threshold2 = luaL_checknumber(L, 10);
    const int aperture = n == 11 ? check_int(L, 11) : 3;
    AreaJob job;
    if (!resolve_bridge_job(L, r, args, job)) return 0;
    guarded(L, "cvcanny", [&] { canny_region(job, threshold1, threshold2, aperture); });
    return 0;
}

int l_ocvtest(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {8});
    const PairArgs args = read_pair_args(L);
    AreaJob job;
    if (!resolve_bridge_job(L, r, args, job)) return 0;
    guarded(L, "ocvtest", [&] { flip_test_region(job); });
    return 0;
}
