// Script function diffuse(src, dst, sx, sy, w, h, dx, dy, rx, ry).
#include <algorithm>

#include "filters/diffuse.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

int l_diffuse(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L);
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

}  // namespace

const LibraryFunction diffuse_functions[] = {
    {"diffuse", l_diffuse, {10}},
    {},
};
