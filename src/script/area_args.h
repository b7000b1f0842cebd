// The start shared by the script functions whose first arguments name one,
// two or three buffers followed by their regions:
//   region: buffer, x, y, w, h
//   pair:   src, dst, sx, sy, w, h, dx, dy
//   triple: a, b, dst, ax, ay, w, h, bx, by, dx, dy
// A call begins in the binding order: the host records are fetched, the
// argument count is checked against the function's row, and the region
// arguments are read (every number truncated toward zero).  The binding
// then reads its own arguments, and resolving follows: an empty size
// returns false before any buffer is looked up, buffers are required in
// argument order, and the positions are clipped together against
// max_w x max_h.
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

// What every such call begins with: the host records, the argument count
// (one the function's row accepts) and the buffer and region arguments.
template <class Args>
struct CallStart {
    CallStart() = default;
    CallStart(const HostRecords& r, int n, const Args& a) : records(r), count(n), args(a) {}

    HostRecords records;
    int count = 0;
    Args args;
};

// A call on one buffer's region.
struct RegionCall : CallStart<RegionArgs> {
    using CallStart::CallStart;
    Frame frame;  // resolved: the buffer
    Region area;  // and the region clipped to it
};

// A call that reads one buffer's area and writes another's.
struct PairCall : CallStart<PairArgs> {
    using CallStart::CallStart;
    Frame src, dst;  // resolved
    PairArea area;
};

// A call with two inputs and an output.
struct TripleCall : CallStart<TripleArgs> {
    using CallStart::CallStart;
    Frame a, b, dst;  // resolved
    TripleArea area;
};

// Records fetched, count checked, arguments 1..5, 1..8 or 1..11 read.
RegionCall begin_region_call(lua_State* L);
PairCall begin_pair_call(lua_State* L);
TripleCall begin_triple_call(lua_State* L);

// Arguments 1..5, 1..8 and 1..11 alone, for functions whose forms differ.
RegionArgs read_region_args(lua_State* L);
PairArgs read_pair_args(lua_State* L);
TripleArgs read_triple_args(lua_State* L);

// The pair of a function whose short form is (src, dst): with `count` 2,
// arguments 1 and 2 and the whole picture at (0, 0) of both; else
// arguments 1..8.
PairArgs read_pair_or_picture_args(lua_State* L, const HostRecords& r, int count);

// Resolves the call's buffers and clips its area.  False when there is
// nothing to do (empty size before or after clipping); raises the buffer
// error for a number that names no buffer.  Call after every argument has
// been read.
bool resolve(lua_State* L, RegionCall& call);
bool resolve(lua_State* L, PairCall& call);
bool resolve(lua_State* L, TripleCall& call);

// The job of a neighbourhood function (the filters, morphology, labelling,
// the OpenCV bridge, flips and mosaic), whose rectangles its kernel clips:
// false when w or h is below 1; otherwise w and h cut to the buffer size,
// src then dst resolved, the visible picture and the worker count of the
// thread-count track set (1..16; anything below asks for one worker per
// processor, as the toolkit's 0 does).
bool resolve_area_job(lua_State* L, const PairCall& call, AreaJob& job);

// The two plain forms of a neighbourhood function: f(src, dst, sx, sy, w,
// h, dx, dy) and, with a window, f(src, dst, sx, sy, w, h, dx, dy, kw, kh).
// The call begins, the window is read, the job resolved, and the kernel run
// under the function's name (guarded()).
int area_function(lua_State* L, const char* name, void (*kernel)(const AreaJob&));
int window_function(lua_State* L, const char* name, void (*kernel)(const AreaJob&, int, int));
