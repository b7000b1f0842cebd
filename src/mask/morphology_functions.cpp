// Script functions erode, dilate, open and close:
//   op(src, dst, sx, sy, w, h, dx, dy, element)
// where element is a disc radius or a table of 0/1 rows.  They read and
// write only the y component.
#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <utility>

#include "buffers/numeric.h"
#include "mask/bindings.h"
#include "mask/morphology.h"
#include "script/area_args.h"

namespace {

// The most cells a table element may have: what the toolkit's array of
// 32-bit cells can hold.  Larger tables are refused before they are read.
constexpr unsigned long long kMaxTableCells = 0xFFFFFFFFull / sizeof(int);

// A table element's runs live in a userdata that Lua collects (its __gc
// runs the destructor), so a Lua error raised while they exist leaks
// nothing.
const char* const kRunsMeta = "quorvel.morphology_runs";

int collect_runs(lua_State* L) {
    static_cast<mist::morphology_runs*>(lua_touserdata(L, 1))->~morphology_runs();
    return 0;
}

mist::morphology_runs* push_runs(lua_State* L) {
    void* memory = lua_newuserdata(L, sizeof(mist::morphology_runs));
    auto* runs = new (memory) mist::morphology_runs();
    if (luaL_newmetatable(L, kRunsMeta)) {
        lua_pushcfunction(L, collect_runs);
        lua_setfield(L, -2, "__gc");
    }
    lua_setmetatable(L, -2);
    return runs;
}

// Reads the table at index 9 (rows x cols cells, each row read with the
// first row's length) into runs centred at (cols / 2, rows / 2).  Only raw
// reads are made, none of which can raise a Lua error, so this may run
// inside guarded().  A row that is the same table as the one above is not
// read again: its runs are the same, a row lower.  Throws std::length_error
// past the toolkit's limits.
void read_table_runs(lua_State* L, int rows, int cols, mist::morphology_runs* out) {
    mist::morphology_runs runs;
    const int cx = cols / 2, cy = rows / 2;
    std::size_t row_start = 0;  // the previous row's first run
    for (int i = 0; i < rows; ++i) {
        lua_rawgeti(L, 9, i + 1);
        const bool same = i > 0 && lua_rawequal(L, -1, -2);
        if (same) {
            const std::size_t end = runs.runs().size();
            for (std::size_t k = row_start; k < end; ++k) {
                const mist::morphology_run r = runs.runs()[k];
                runs.add(i - cy, r.x0, r.x1);
            }
            row_start = end;
        } else {
            row_start = runs.runs().size();
            int run_start = -1;
            for (int j = 0; j <= cols; ++j) {
                bool set = false;
                if (j < cols) {
                    lua_rawgeti(L, -1, j + 1);
                    set = trunc_to_int(lua_tonumber(L, -1)) != 0;
                    lua_pop(L, 1);
                }
                if (set && run_start < 0) run_start = j;
                if (!set && run_start >= 0) {
                    runs.add(i - cy, run_start - cx, j - 1 - cx);
                    run_start = -1;
                }
            }
        }
        if (runs.points() > mist::morphology_detail::max_points)
            throw std::length_error("vector<T> too long");
        if (i > 0) lua_remove(L, -2);
    }
    if (rows > 0) lua_pop(L, 1);
    runs.margin_x = cols - cx - 1 >= cx ? cols - cx : cx;
    runs.margin_y = rows - cy - 1 >= cy ? rows - cy : cy;
    *out = std::move(runs);
}

// Reads argument 9: a number (the radius) or a table of rows.  Raises an
// argument error for an element without points or one too large, before any
// buffer is used; a table's runs stay on the stack above argument 9.
MorphologyElement check_element(lua_State* L, const char* name) {
    MorphologyElement e;
    if (lua_isnumber(L, 9)) {
        e.radius = check_int(L, 9);
        if (e.radius < 0) luaL_argerror(L, 9, "empty structuring element (negative radius)");
        return e;
    }
    luaL_checktype(L, 9, LUA_TTABLE);
    const unsigned long long rows = lua_objlen(L, 9);
    lua_rawgeti(L, 9, 1);
    const bool first_is_table = lua_istable(L, -1);
    const unsigned long long cols = first_is_table ? lua_objlen(L, -1) : 0;
    lua_pop(L, 1);
    if (!first_is_table) luaL_argerror(L, 9, "テーブルの形式が不適切です");
    if (rows * cols > kMaxTableCells) luaL_argerror(L, 9, "structuring element table too large");
    // Every row is indexed for its cells, so a row that is not a table
    // fails the way indexing it from a script would.
    for (unsigned long long i = 2; i <= rows; ++i) {
        lua_rawgeti(L, 9, static_cast<int>(i));
        if (!lua_istable(L, -1))
            luaL_error(L, "attempt to index a %s value (row %d of the structuring element)",
                       luaL_typename(L, -1), static_cast<int>(i));
        lua_pop(L, 1);
    }
    e.is_table = true;
    e.rows = static_cast<int>(rows);
    e.cols = static_cast<int>(cols);
    mist::morphology_runs* runs = push_runs(L);
    guarded(L, name, [&] {
        try {
            read_table_runs(L, e.rows, e.cols, runs);
            // The list form keeps a 0/1 copy of the table with a border.
            if (mist::array2<int>::checked_count(static_cast<std::size_t>(cols) + 2,
                                                 static_cast<std::size_t>(rows) + 2) >
                mist::array2<int>::max_size)
                throw std::length_error("vector<T> too long");
        } catch (const std::length_error&) {
            throw std::length_error("structuring element too large (table of " +
                                    std::to_string(cols) + " x " + std::to_string(rows) +
                                    " cells)");
        }
    });
    e.runs = runs;
    if (runs->empty()) luaL_argerror(L, 9, "empty structuring element (no non-zero cell)");
    return e;
}

int morphology_function(lua_State* L, MorphologyOp op, const char* name) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {9});
    const PairArgs args = read_pair_args(L);
    MorphologyElement element = check_element(L, name);

    AreaJob job;
    job.sx = args.sx, job.sy = args.sy, job.w = args.w, job.h = args.h;
    job.dx = args.dx, job.dy = args.dy;
    if (job.w <= 0 || job.h <= 0) return 0;
    if (op == MorphologyOp::open || op == MorphologyOp::close) {
        // The disc's runs are built here once and handed to the kernel.
        if (element.runs == nullptr) {
            mist::morphology_runs* runs = push_runs(L);
            guarded(L, name, [&] { *runs = make_morphology_runs(element); });
            element.runs = runs;
        }
        if (!two_pass_allowed(*element.runs, r.fpip->max_w, r.fpip->max_h))
            luaL_argerror(L, 9,
                          lua_pushfstring(L,
                                          "structuring element reaches farther than the buffer "
                                          "(open and close allow at most %d x %d)",
                                          r.fpip->max_w, r.fpip->max_h));
    }
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
