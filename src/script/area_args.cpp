#include "script/area_args.h"

#include <algorithm>
#include <cstdint>

RegionArgs read_region_args(lua_State* L) {
    RegionArgs args;
    args.buffer = check_int(L, 1);
    args.region = check_region(L, 2);
    return args;
}

PairArgs read_pair_args(lua_State* L) {
    int v[8];
    check_ints(L, 1, 8, v);
    return {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]};
}

TripleArgs read_triple_args(lua_State* L) {
    int v[11];
    check_ints(L, 1, 11, v);
    return {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10]};
}

PairArgs read_pair_or_picture_args(lua_State* L, const HostRecords& r, int count) {
    if (count != 2) return read_pair_args(L);
    const Region picture = r.picture();
    return {check_int(L, 1), check_int(L, 2), 0, 0, picture.w, picture.h, 0, 0};
}

bool resolve_region(lua_State* L, const HostRecords& r, const RegionArgs& args, Frame& frame,
                    Region& area) {
    if (args.region.empty()) return false;
    frame = require_frame(L, r, args.buffer);
    area = args.region;
    clip_region(area, frame.max_w, frame.max_h);
    return !area.empty();
}

bool resolve_pair(lua_State* L, const HostRecords& r, const PairArgs& args, Frame& src, Frame& dst,
                  PairArea& area) {
    if (args.w < 1 || args.h < 1) return false;
    src = require_frame(L, r, args.src);
    dst = require_frame(L, r, args.dst);
    area = {args.sx, args.sy, args.dx, args.dy, args.w, args.h};
    const int W = r.fpip->max_w, H = r.fpip->max_h;
    clip_region_pair(area.sx, area.sy, area.dx, area.dy, area.w, area.h, W, H, W, H);
    return area.w > 0 && area.h > 0;
}

bool resolve_triple(lua_State* L, const HostRecords& r, const TripleArgs& args, Frame& a, Frame& b,
                    Frame& dst, TripleArea& area) {
    if (args.w < 1 || args.h < 1) return false;
    a = require_frame(L, r, args.a);
    b = require_frame(L, r, args.b);
    dst = require_frame(L, r, args.dst);
    area = {args.ax, args.ay, args.bx, args.by, args.dx, args.dy, args.w, args.h};
    const int W = r.fpip->max_w, H = r.fpip->max_h;
    clip_region_triple(area.ax, area.ay, area.bx, area.by, area.dx, area.dy, area.w, area.h, W, H,
                       W, H, W, H);
    return area.w > 0 && area.h > 0;
}

bool resolve_area_job(lua_State* L, const HostRecords& r, const PairArgs& args, AreaJob& job) {
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
    job.threads = r.lfip->thread_n > 0 ? static_cast<std::uint32_t>(r.lfip->thread_n) : 0u;
    return true;
}

int area_function(lua_State* L, const char* name, void (*kernel)(const AreaJob&)) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L);
    const PairArgs args = read_pair_args(L);
    AreaJob job;
    if (resolve_area_job(L, r, args, job)) guarded(L, name, [&] { kernel(job); });
    return 0;
}

int window_function(lua_State* L, const char* name, void (*kernel)(const AreaJob&, int, int)) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L);
    const PairArgs args = read_pair_args(L);
    const int kw = check_int(L, 9), kh = check_int(L, 10);
    AreaJob job;
    if (resolve_area_job(L, r, args, job)) guarded(L, name, [&] { kernel(job, kw, kh); });
    return 0;
}
