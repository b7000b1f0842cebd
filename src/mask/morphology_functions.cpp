// Script functions erode, dilate, open and close:
//   op(src, dst, sx, sy, w, h, dx, dy, element)
// where element is a disc radius or a table of 0/1 rows.  They read and
// write only the y component.
#include <algorithm>
#include <cstdint>

#include "mask/bindings.h"
#include "mask/morphology.h"
#include "script/area_args.h"

namespace {

// The most cells a table element may have: what the toolkit's array of
// 32-bit cells can hold.  Larger tables are refused before they are read.
constexpr unsigned long long kMaxTableCells = 0xFFFFFFFFull / sizeof(int);

// Reads argument 9: a number (the radius) or a table of rows.  Raises an
// argument error for an element without points, before any buffer is used.
MorphologyElement check_element(lua_State* L) {
    MorphologyElement e;
    if (lua_isnumber(L, 9)) {
        e.radius = check_int(L, 9);
    } else {
        // The same checks, in the same order, as the table reader below, so
        // a malformed table gets the usual messages; then the size limit.
        luaL_checktype(L, 9, LUA_TTABLE);
        const unsigned long long rows = lua_objlen(L, 9);
        lua_rawgeti(L, 9, 1);
        const bool first_is_table = lua_istable(L, -1);
        const unsigned long long cols = first_is_table ? lua_objlen(L, -1) : 0;
        lua_pop(L, 1);
        if (first_is_table && rows * cols > kMaxTableCells)
            luaL_argerror(L, 9, "structuring element table too large");
        // Every row is indexed for its cells, so a row that is not a table
        // fails the way indexing it from a script would.
        for (unsigned long long i = 2; first_is_table && i <= rows; ++i) {
            lua_rawgeti(L, 9, static_cast<int>(i));
            if (!lua_istable(L, -1))
                luaL_error(L, "attempt to index a %s value (row %d of the structuring element)",
                           luaL_typename(L, -1), static_cast<int>(i));
            lua_pop(L, 1);
        }
        e.is_table = true;
        e.cells = check_table2d(L, 9, &e.rows, &e.cols);
    }
    if (!e.has_points())
        luaL_argerror(L, 9, e.is_table ? "empty structuring element (no non-zero cell)"
                                       : "empty structuring element (negative radius)");
    return e;
}

int morphology_function(lua_State* L, MorphologyOp op, const char* name) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {9});
    const PairArgs args = read_pair_args(L);
    const MorphologyElement element = check_element(L);

    MorphologyJob job;
    job.sx = args.sx, job.sy = args.sy, job.w = args.w, job.h = args.h;
    job.dx = args.dx, job.dy = args.dy;
    if (job.w <= 0 || job.h <= 0) return 0;
    job.w = std::min(job.w, r.fpip->max_w);
    job.h = std::min(job.h, r.fpip->max_h);
    job.source = require_frame(L, r, args.src);
    job.destination = require_frame(L, r, args.dst);
    job.picture_w = r.fpip->w;
    job.picture_h = r.fpip->h;
    // The thread-count track runs 1..16; anything below asks for one
    // worker per processor, as the toolkit's 0 does.
    const int n = r.lfip->thread_n;
    const std::uint32_t threads = n > 0 ? static_cast<std::uint32_t>(n) : 0u;
    guarded(L, name, [&] { morphology_region(job, element, op, threads); });
    return 0;
}

}  // namespace

int l_erode(lua_State* L) { return morphology_function(L, MorphologyOp::erode, "erode"); }
int l_dilate(lua_State* L) { return morphology_function(L, MorphologyOp::dilate, "dilate"); }
int l_open(lua_State* L) { return morphology_function(L, MorphologyOp::open, "open"); }
int l_close(lua_State* L) { return morphology_function(L, MorphologyOp::close, "close"); }
