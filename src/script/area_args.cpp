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

namespace {

template <class Call, class Args>
Call begin_call(lua_State* L, Args (*read_args)(lua_State*)) {
    const HostRecords r = fetch_host_records(L);
    const int n = check_arg_count(L);
    return Call(r, n, read_args(L));
}

}  // namespace

RegionCall begin_region_call(lua_State* L) { return begin_call<RegionCall>(L, read_region_args); }
PairCall begin_pair_call(lua_State* L) { return begin_call<PairCall>(L, read_pair_args); }
TripleCall begin_triple_call(lua_State* L) { return begin_call<TripleCall>(L, read_triple_args); }

bool resolve(lua_State* L, RegionCall& call) {
    if (call.args.region.empty()) return false;
    call.frame = require_frame(L, call.records, call.args.buffer);
    call.area = call.args.region;
    clip_region(call.area, call.frame.max_w, call.frame.max_h);
    return !call.area.empty();
}

bool resolve(lua_State* L, PairCall& call) {
    const PairArgs& args = call.args;
    if (args.w < 1 || args.h < 1) return false;
    call.src = require_frame(L, call.records, args.src);
    call.dst = require_frame(L, call.records, args.dst);
    PairArea& area = call.area;
    area = {args.sx, args.sy, args.dx, args.dy, args.w, args.h};
    const int W = call.records.fpip->max_w, H = call.records.fpip->max_h;
    clip_region_pair(area.sx, area.sy, area.dx, area.dy, area.w, area.h, W, H, W, H);
    return area.w > 0 && area.h > 0;
}

bool resolve(lua_State* L, TripleCall& call) {
    const TripleArgs& args = call.args;
    if (args.w < 1 || args.h < 1) return false;
    call.a = require_frame(L, call.records, args.a);
    call.b = require_frame(L, call.records, args.b);
    call.dst = require_frame(L, call.records, args.dst);
    TripleArea& area = call.area;
    area = {args.ax, args.ay, args.bx, args.by, args.dx, args.dy, args.w, args.h};
    const int W = call.records.fpip->max_w, H = call.records.fpip->max_h;
    clip_region_triple(area.ax, area.ay, area.bx, area.by, area.dx, area.dy, area.w, area.h, W, H,
                       W, H, W, H);
    return area.w > 0 && area.h > 0;
}

bool resolve_area_job(lua_State* L, const PairCall& call, AreaJob& job) {
    const PairArgs& args = call.args;
    const HostRecords& r = call.records;
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
    const PairCall call = begin_pair_call(L);
    AreaJob job;
    if (resolve_area_job(L, call, job)) guarded(L, name, [&] { kernel(job); });
    return 0;
}

int window_function(lua_State* L, const char* name, void (*kernel)(const AreaJob&, int, int)) {
    const PairCall call = begin_pair_call(L);
    const int kw = check_int(L, 9), kh = check_int(L, 10);
    AreaJob job;
    if (resolve_area_job(L, call, job)) guarded(L, name, [&] { kernel(job, kw, kh); });
    return 0;
}
