// fliph(src, dst [, sx, sy, w, h, dx, dy]) and flipv (the same).
//
// Their regions are not clipped: w and h are only limited to the buffer's
// size, and the kernels skip outside positions pixel by pixel.
#include "geometry/flip.h"
#include "geometry/source_copy.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

int flip_binding(lua_State* L, void (*kernel)(const Frame&, const Frame&, const FlipRegion&)) {
    const HostRecords r = fetch_host_records(L);
    const int n = check_arg_count(L);
    const PairCall call(r, n, read_pair_or_picture_args(L, r, n));
    AreaJob job;
    if (!resolve_area_job(L, call, job)) return 0;
    const FlipRegion region{job.sx, job.sy, job.w, job.h, job.dx, job.dy};
    const Frame dst = job.destination;
    guarded(L, [&] {
        with_distinct_source(job.source, dst, [&](const Frame& s) { kernel(s, dst, region); });
    });
    return 0;
}

int l_fliph(lua_State* L) { return flip_binding(L, flip_horizontal); }
int l_flipv(lua_State* L) { return flip_binding(L, flip_vertical); }

}  // namespace

const LibraryFunction flip_functions[] = {
    {"fliph", l_fliph, {2, 8}},
    {"flipv", l_flipv, {2, 8}},
    {},
};
