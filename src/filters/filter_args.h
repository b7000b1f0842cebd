// Argument handling shared by the filter bindings, whose first eight
// arguments are src, dst, sx, sy, w, h, dx, dy.
#pragma once

#include "filters/filter_job.h"
#include "script/area_args.h"
#include "script/binding.h"

// The job of arguments already read: false (nothing to do, no buffer
// resolved) when w or h is below 1; otherwise w and h cut to the buffer
// size, src then dst resolved (raising the buffer error for a number that
// names no buffer), and the toolkit thread count taken from the
// thread-count track.
bool resolve_filter_job(lua_State* L, const HostRecords& r, const PairArgs& args, FilterJob& job);
