// Script function diffuse(src, dst, sx, sy, w, h, dx, dy, rx, ry).
#include <algorithm>

#include "filters/diffuse.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

int l_diffuse(lua_State* L) {
    PairCall call = begin_pair_call(L);
    int rx = check_int(L, 9), ry = check_int(L, 10);
    // The size is cut to the buffer before the pair is clipped.
    const FILTER_PROC_INFO& info = *call.records.fpip;
    call.args.w = std::min(call.args.w, info.max_w);
    call.args.h = std::min(call.args.h, info.max_h);
    rx = std::clamp(rx, 0, std::max(info.max_w, 0));
    ry = std::clamp(ry, 0, std::max(info.max_h, 0));
    if (!resolve(L, call)) return 0;
    guarded(L, "diffuse",
            [&] { diffuse_region(call.src, call.dst, info.w, info.h, call.area, rx, ry); });
    return 0;
}

}  // namespace

const LibraryFunction diffuse_functions[] = {
    {"diffuse", l_diffuse, {10}},
    {},
};
