// Script functions erode, dilate, open and close:
//   op(src, dst, sx, sy, w, h, dx, dy, element)
// where element is a disc radius or a table of 0/1 rows.  They read and
// write only the y component.
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>

#include "buffers/numeric.h"
#include "mask/morphology.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

// The most cells a table element may have: what the toolkit's array of
// 32-bit cells can hold.  Larger tables are refused before they are read.
constexpr unsigned long long kMaxTableCells = 0xFFFFFFFFull / sizeof(int);

// A table element's runs live in a userdata that Lua collects (its __gc
// runs the destructor), so a Lua error raised while they exist leaks
// nothing.
const char* const kRunsMeta = "quorvel.morphology_runs";

int collect_runs(lua_State* L) {
    static_cast<toolkit::morphology_runs*>(lua_touserdata(L, 1))->~morphology_runs();
    return 0;
}

toolkit::morphology_runs* push_runs(lua_State* L) {
    void* memory = lua_newuserdata(L, sizeof(toolkit::morphology_runs));
    auto* runs = new (memory) toolkit::morphology_runs();
    if (luaL_newmetatable(L, kRunsMeta)) {
        lua_pushcfunction(L, collect_runs);
        lua_setfield(L, -2, "__gc");
    }
    lua_setmetatable(L, -2);
    return runs;
}

// Reads the table at index 9 (rows x cols cells, each row read with the
// first row's length, non-zero after truncation toward zero a point) into
// runs.  Only raw reads are made, none of which can raise a Lua error, so
// this may run inside guarded().  A row that is the same table as the one
// above is not read again.  Throws std::length_error past the toolkit's
// limits.
void read_table_runs(lua_State* L, int rows, int cols, toolkit::morphology_runs* out) {
    toolkit::table_runs_builder builder(cols, rows);
    for (int i = 0; i < rows; ++i) {
        lua_rawgeti(L, 9, i + 1);
        if (i > 0 && lua_rawequal(L, -1, -2)) {
            builder.repeat_row();
        } else {
            builder.add_row([L](std::int64_t j) {
                lua_rawgeti(L, -1, static_cast<int>(j) + 1);
                const bool set = trunc_to_int(lua_tonumber(L, -1)) != 0;
                lua_pop(L, 1);
                return set;
            });
        }
        if (i > 0) lua_remove(L, -2);
    }
    if (rows > 0) lua_pop(L, 1);
    *out = builder.finish();
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
    std::size_t rows = 0, cols = 0;
    check_table_shape(L, 9, &rows, &cols);
    if (static_cast<unsigned long long>(rows) * cols > kMaxTableCells)
        luaL_argerror(L, 9, "structuring element table too large");
    // Every row is indexed for its cells, so a row that is not a table
    // fails the way indexing it from a script would.
    check_table_rows(L, 9, "structuring element");
    e.is_table = true;
    e.rows = static_cast<int>(rows);
    e.cols = static_cast<int>(cols);
    toolkit::morphology_runs* runs = push_runs(L);
    guarded(L, name, [&] {
        try {
            read_table_runs(L, e.rows, e.cols, runs);
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
    const PairCall call = begin_pair_call(L);
    MorphologyElement element = check_element(L, name);
    if (call.args.w < 1 || call.args.h < 1) return 0;
    const int max_w = call.records.fpip->max_w, max_h = call.records.fpip->max_h;
    if (op == MorphologyOp::open || op == MorphologyOp::close) {
        // The disc's runs are built here once and handed to the kernel.
        if (element.runs == nullptr) {
            toolkit::morphology_runs* runs = push_runs(L);
            guarded(L, name, [&] { *runs = make_morphology_runs(element); });
            element.runs = runs;
        }
        if (!two_pass_allowed(*element.runs, max_w, max_h))
            luaL_argerror(L, 9,
                          lua_pushfstring(L,
                                          "structuring element reaches farther than the buffer "
                                          "(open and close allow at most %d x %d)",
                                          max_w, max_h));
    }
    AreaJob job;
    if (resolve_area_job(L, call, job))
        guarded(L, name, [&] { morphology_region(job, element, op, job.threads); });
    return 0;
}

int l_erode(lua_State* L) { return morphology_function(L, MorphologyOp::erode, "erode"); }
int l_dilate(lua_State* L) { return morphology_function(L, MorphologyOp::dilate, "dilate"); }
int l_open(lua_State* L) { return morphology_function(L, MorphologyOp::open, "open"); }
int l_close(lua_State* L) { return morphology_function(L, MorphologyOp::close, "close"); }

}  // namespace

const LibraryFunction morphology_functions[] = {
    {"erode", l_erode, {9}},
    {"dilate", l_dilate, {9}},
    {"open", l_open, {9}},
    {"close", l_close, {9}},
    {},
};
