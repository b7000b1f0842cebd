// Argument reading shared by the bindings whose first arguments name one,
// two or three buffers followed by their regions:
//   region: buffer, x, y, w, h
//   pair:   src, dst, sx, sy, w, h, dx, dy
//   triple: a, b, dst, ax, ay, w, h, bx, by, dx, dy
// Reading converts every number (truncated toward zero); resolving then
// follows the binding order: an empty size returns false before any buffer
// is looked up, buffers are required in argument order, and the positions
// are clipped together against max_w x max_h.
#pragma once

#include "buffers/areas.h"
#include "buffers/frame.h"
#include "buffers/region.h"
#include "script/binding.h"

struct RegionArgs {
    int buffer = 0;
    Region region;
};

struct PairArgs {
    int src = 0, dst = 0;
    int sx = 0, sy = 0, w = 0, h = 0, dx = 0, dy = 0;
};

struct TripleArgs {
    int a = 0, b = 0, dst = 0;
    int ax = 0, ay = 0, w = 0, h = 0, bx = 0, by = 0, dx = 0, dy = 0;
};

// Arguments 1..5 as a buffer and its region.
RegionArgs read_region_args(lua_State* L);

// Arguments 1..8 as a pair.
PairArgs read_pair_args(lua_State* L);

// Arguments 1..11 as a triple.
TripleArgs read_triple_args(lua_State* L);

// Resolves the buffers and clips the area.  False when there is nothing to
// do (empty size before or after clipping); raises the buffer error for a
// number that names no buffer.  Call them after every number has been read.
bool resolve_region(lua_State* L, const HostRecords& r, const RegionArgs& args, Frame& frame,
                    Region& area);

bool resolve_pair(lua_State* L, const HostRecords& r, const PairArgs& args, Frame& src, Frame& dst,
                  PairArea& area);

bool resolve_triple(lua_State* L, const HostRecords& r, const TripleArgs& args, Frame& a, Frame& b,
                    Frame& dst, TripleArea& area);
