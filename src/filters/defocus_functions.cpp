// Script functions defocus and diffuse:
//   defocus(src, dst, sx, sy, w, h, dx, dy, kw, kh)
//   diffuse(src, dst, sx, sy, w, h, dx, dy, rx, ry)
#include <algorithm>

#include "filters/bindings.h"
#include "filters/defocus.h"
#include "filters/diffuse.h"

int l_defocus(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {10});
    const PairArgs args = read_pair_args(L);
    const int kw = check_int(L, 9), kh = check_int(L, 10);
    AreaJob job;
    if (!resolve_filter_job(L, r, args, job)) return 0;
    guarded(L, "defocus", [&] { defocus_region(job, kw, kh); });
    return 0;
}

int l_diffuse(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {10});
    PairArgs args = read_pair_args(L);
    int rx = check_int(L, 9), ry = check_int(L, 10);
    if (args.w < 1 || args.h < 1) return 0;
    const int W = r.fpip->max_w, H = r.fpip->max_h;
    args.w = std::min(args.w, W);
    args.h = std::min(args.h, H);
    rx = std::clamp(rx, 0, std::max(W, 0));
    ry = std::clamp(ry, 0, std::max(H, 0));
    Frame src, dst;
    PairArea area;
    if (!resolve_pair(L, r, args, src, dst, area)) return 0;
    const int pw = r.fpip->w, ph = r.fpip->h;
    guarded(L, "diffuse", [&] { diffuse_region(src, dst, pw, ph, area, rx, ry); });
    return 0;
}
