// The argument handling shared by the region functions of this subsystem,
// whose first five arguments are buffer, x, y, w, h.
#pragma once

#include "script/binding.h"

struct RegionCall {
    int buffer = 0;
    Region region;
};

// Reads arguments 1..5 (each truncated toward zero).
inline RegionCall read_region_call(lua_State* L) {
    RegionCall call;
    call.buffer = check_int(L, 1);
    call.region = check_region(L, 2);
    return call;
}

// Resolves the buffer and clips the region against the buffer's storage.
// Returns false, without resolving anything, when the region as given is
// empty, and false when nothing of it is left after clipping.  Call it after
// every number has been read: a missing buffer raises a Lua error.
inline bool resolve_region_call(lua_State* L, const HostRecords& records, RegionCall& call,
                                Frame* frame) {
    if (call.region.empty()) return false;
    *frame = require_frame(L, records, call.buffer);
    clip_region(call.region, frame->max_w, frame->max_h);
    return !call.region.empty();
}
