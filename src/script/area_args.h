// Argument reading shared by the script functions whose first arguments
// name one, two or three buffers followed by their regions:
//   region: buffer, x, y, w, h
//   pair:   src, dst, sx, sy, w, h, dx, dy
//   triple: a, b, dst, ax, ay, w, h, bx, by, dx, dy
// Reading converts every number (truncated toward zero); resolving then
// follows the binding order: an empty size returns false before any buffer
// is looked up, buffers are required in argument order, and the positions
// are clipped together against max_w x max_h.
#pragma once

#include "buffers/area_job.h"
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

// The pair of a function whose short form is (src, dst): with `count` 2,
// arguments 1 and 2 and the whole picture at (0, 0) of both; else
// arguments 1..8.
PairArgs read_pair_or_picture_args(lua_State* L, const HostRecords& r, int count);

// Resolves the buffers and clips the area.  False when there is nothing to
// do (empty size before or after clipping); raises the buffer error for a
// number that names no buffer.  Call them after every number has been read.
bool resolve_region(lua_State* L, const HostRecords& r, const RegionArgs& args, Frame& frame,
                    Region& area);

bool resolve_pair(lua_State* L, const HostRecords& r, const PairArgs& args, Frame& src, Frame& dst,
                  PairArea& area);

bool resolve_triple(lua_State* L, const HostRecords& r, const TripleArgs& args, Frame& a, Frame& b,
                    Frame& dst, TripleArea& area);

// The job of a neighbourhood function (the filters, morphology, labelling,
// the OpenCV bridge), whose rectangles are clipped by its kernel: false
// when w or h is below 1; otherwise w and h cut to the buffer size, src
// then dst resolved, the visible picture and the worker count of the
// thread-count track set (1..16; anything below asks for one worker per
// processor, as the toolkit's 0 does).
bool resolve_area_job(lua_State* L, const HostRecords& r, const PairArgs& args, AreaJob& job);

// The two plain forms of a neighbourhood function: f(src, dst, sx, sy, w,
// h, dx, dy) and, with a window, f(src, dst, sx, sy, w, h, dx, dy, kw, kh).
// The count is checked, every argument read, the job resolved, and the
// kernel run under the function's name (guarded()).
int area_function(lua_State* L, const char* name, void (*kernel)(const AreaJob&));
int window_function(lua_State* L, const char* name, void (*kernel)(const AreaJob&, int, int));
