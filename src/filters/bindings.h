// The script bindings of the neighbourhood filters: one int
// l_<name>(lua_State*) per script function, defined in the room's
// *_functions.cpp files and listed in filter_functions (filters/library.cpp),
// and the argument handling they share (their first eight arguments are
// src, dst, sx, sy, w, h, dx, dy).
#pragma once

#include <algorithm>
#include <cstdint>

#include "buffers/area_job.h"
#include "script/area_args.h"
#include "script/binding.h"
#include "script/lua.h"

int l_linear(lua_State* L);
int l_laplacian(lua_State* L);
int l_gaussian(lua_State* L);
int l_defocus(lua_State* L);
int l_diffuse(lua_State* L);
int l_median(lua_State* L);

// The job of arguments already read: false (nothing to do, no buffer
// resolved) when w or h is below 1; otherwise w and h cut to the buffer
// size, src then dst resolved (raising the buffer error for a number that
// names no buffer), and the toolkit thread count taken from the
// thread-count track (1..16; anything below asks for one worker per
// processor, as the toolkit's 0 does).
inline bool resolve_filter_job(lua_State* L, const HostRecords& r, const PairArgs& args,
                               AreaJob& job) {
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
