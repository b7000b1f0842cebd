#include "script/area_args.h"

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
