// mosaic(src, dst, sx, sy, w, h, dx, dy, bw, bh).
//
// The region is not clipped: w and h are only limited to the buffer's size,
// and the kernel skips outside positions pixel by pixel.
#include <algorithm>

#include "geometry/mosaic.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

int l_mosaic(lua_State* L) {
    const PairCall call = begin_pair_call(L);
    const int bw = check_int(L, 9), bh = check_int(L, 10);
    AreaJob job;
    if (!resolve_area_job(L, call, job)) return 0;
    const int W = call.records.fpip->max_w, H = call.records.fpip->max_h;
    const MosaicRegion region{job.sx,
                              job.sy,
                              job.w,
                              job.h,
                              job.dx,
                              job.dy,
                              std::clamp(bw, 1, std::max(W, 1)),
                              std::clamp(bh, 1, std::max(H, 1))};
    // The averages are complete before the first pixel is written, so an
    // in-place mosaic needs no copy; a failed allocation writes nothing.
    mosaic(job.source, job.destination, region);
    return 0;
}

}  // namespace

const LibraryFunction mosaic_functions[] = {
    {"mosaic", l_mosaic, {10}},
    {},
};
