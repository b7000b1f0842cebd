#include "filters/filter_args.h"

#include <algorithm>

bool resolve_filter_job(lua_State* L, const HostRecords& r, const PairArgs& args, FilterJob& job) {
    if (args.w < 1 || args.h < 1) return false;
    job.w = std::min(args.w, r.fpip->max_w);
    job.h = std::min(args.h, r.fpip->max_h);
    job.sx = args.sx;
    job.sy = args.sy;
    job.dx = args.dx;
    job.dy = args.dy;
    job.source = require_frame(L, r, args.src);
    job.destination = require_frame(L, r, args.dst);
    job.picture_w = r.fpip->w;
    job.picture_h = r.fpip->h;
    // The track runs 1..16; anything below asks for one worker per
    // processor, as the toolkit's 0 does.
    job.threads = r.lfip->thread_n > 0 ? static_cast<std::uint32_t>(r.lfip->thread_n) : 0u;
    return true;
}
