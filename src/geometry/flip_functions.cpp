// fliph(src, dst [, sx, sy, w, h, dx, dy]), flipv (the same) and
// mosaic(src, dst, sx, sy, w, h, dx, dy, bw, bh).
//
// Their regions are not clipped: w and h are only limited to the buffer's
// size, and the kernels skip outside positions pixel by pixel.
#include <algorithm>

#include "geometry/bindings.h"
#include "geometry/flip.h"
#include "geometry/mosaic.h"
#include "geometry/source_copy.h"
#include "script/area_args.h"
#include "script/binding.h"

namespace {

int flip_binding(lua_State* L, void (*kernel)(const Frame&, const Frame&, const FlipRegion&)) {
    const HostRecords r = fetch_host_records(L);
    const int n = check_arg_count(L, {2, 8});
    PairArgs a;
    if (n == 2) {
        const Region pic = r.picture();
        a = {check_int(L, 1), check_int(L, 2), 0, 0, pic.w, pic.h, 0, 0};
    } else {
        a = read_pair_args(L);
    }
    if (a.w < 1 || a.h < 1) return 0;
    const FlipRegion region{a.sx, a.sy, std::min(a.w, r.fpip->max_w), std::min(a.h, r.fpip->max_h),
                            a.dx, a.dy};
    const Frame src = require_frame(L, r, a.src);
    const Frame dst = require_frame(L, r, a.dst);
    guarded(L, [&] {
        with_distinct_source(src, dst, [&](const Frame& s) { kernel(s, dst, region); });
    });
    return 0;
}

}  // namespace

int l_fliph(lua_State* L) { return flip_binding(L, flip_horizontal); }
int l_flipv(lua_State* L) { return flip_binding(L, flip_vertical); }

int l_mosaic(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {10});
    const PairArgs a = read_pair_args(L);
    const int bw = check_int(L, 9), bh = check_int(L, 10);
    if (a.w < 1 || a.h < 1) return 0;
    const int W = r.fpip->max_w, H = r.fpip->max_h;
    const MosaicRegion region{a.sx,
                              a.sy,
                              std::min(a.w, W),
                              std::min(a.h, H),
                              a.dx,
                              a.dy,
                              std::clamp(bw, 1, std::max(W, 1)),
                              std::clamp(bh, 1, std::max(H, 1))};
    const Frame src = require_frame(L, r, a.src);
    const Frame dst = require_frame(L, r, a.dst);
    // The averages are complete before the first pixel is written, so an
    // in-place mosaic needs no copy; a failed allocation writes nothing.
    mosaic(src, dst, region);
    return 0;
}
