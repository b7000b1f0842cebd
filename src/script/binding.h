// The conventions every script function follows.
//
// A binding, in this order: fetch the host records, check the argument count,
// read every number (truncated toward zero where an int is needed), return at
// once for an empty region, resolve buffer numbers, clip, then call its
// kernel.  Lua errors jump over C++ destructors, so a binding raises errors
// only while no object with a destructor is alive: all checks come first, and
// work that may throw runs inside guarded(), which turns an exception into a
// Lua error after the exception's objects are gone.
#pragma once

#include <cstddef>
#include <exception>
#include <new>
#include <utility>

#include "buffers/frame.h"
#include "buffers/region.h"
#include "platform/aviutl.h"
#include "platform/work_deadline.h"
#include "script/engine.h"
#include "script/filter_info.h"
#include "script/lua.h"

struct HostRecords {
    FILTER* fp = nullptr;
    FILTER_PROC_INFO* fpip = nullptr;
    LUA_FILTER_INFO* lfip = nullptr;

    // The whole visible picture: the default region of a short form.
    Region picture() const { return {0, 0, fpip->w, fpip->h}; }
    Frame frame(PIXEL_YC* pixels) const { return {pixels, fpip->max_w, fpip->max_h}; }
};

// Reads the records published in registry["LUA_FILTER_INFO"]; raises one of
// the four registry messages when something is missing.
HostRecords fetch_host_records(lua_State* L);

// The argument count, when the running function's row (its table entry in
// script/library.h, found by the running C function) accepts it;
// otherwise raises "bad argument #n to 'name' (wrong number of argument)".
int check_arg_count(lua_State* L);

// A numeric argument truncated toward zero (NaN gives 0, out-of-range values
// saturate); a non-number raises Lua's standard argument error.
int check_int(lua_State* L, int index);

// Reads `count` integer arguments from `first` on into out[0..count-1].
void check_ints(lua_State* L, int first, int count, int* out);

// Reads `count` number arguments from `first` on into out[0..count-1].
void check_numbers(lua_State* L, int first, int count, double* out);

// Reads a region x, y, w, h from arguments first..first+3.
Region check_region(lua_State* L, int first);

// The pixels of buffer n; raises "バッファが存在しません[n]" when there is none.
PIXEL_YC* require_buffer(lua_State* L, const HostRecords& records, int n);

// Buffer n as a frame of the current size.
Frame require_frame(lua_State* L, const HostRecords& records, int n);

// The shape of a two-dimensional table at `index`: its length (rows) and
// the length of its element 1 (cols).  Raises Lua's type error for a
// non-table and "テーブルの形式が不適切です" when element 1 is not a table.
void check_table_shape(lua_State* L, int index, std::size_t* rows, std::size_t* cols);

// A two-dimensional table of numbers at `index`, read row by row into a block
// owned by a userdata pushed on the stack (Lua frees it).  Missing or
// non-numeric entries read as 0; rows are padded or cut to the length of the
// first.  Raises Lua's type error for a non-table and "テーブルの形式が不適切です"
// when element 1 is not a table.
const double* check_table2d(lua_State* L, int index, int* rows, int* cols);

// Runs `work`, which may throw (allocation failures of work arrays, length
// errors); an exception becomes a Lua error carrying its message.  Returns
// normally when the work completed.  With a function name the message reads
// "name: message", and running out of memory reads "name: not enough memory
// (bad allocation)".
template <class Work>
void guarded(lua_State* L, Work&& work);
template <class Work>
void guarded(lua_State* L, const char* name, Work&& work);

// Raises a Lua error with `message`; for use after all C++ objects are gone.
[[noreturn]] void raise_error(lua_State* L, const char* message);

// Copies an exception's text, prefixed by "name: " when a name is given,
// into storage that outlives the exception.
const char* keep_message(const char* text, const char* name = nullptr);

template <class Work>
void guarded(lua_State* L, Work&& work) {
    guarded(L, nullptr, std::forward<Work>(work));
}

template <class Work>
void guarded(lua_State* L, const char* name, Work&& work) {
    const char* failure = nullptr;
    try {
        work();
    } catch (const std::bad_alloc& e) {
        const char* text = name != nullptr ? "not enough memory (bad allocation)" : e.what();
        failure = keep_message(text, name);
    } catch (const std::exception& e) {
        failure = keep_message(e.what(), name);
    } catch (...) {
        failure = keep_message("unknown error");
    }
    if (failure != nullptr) raise_error(L, failure);
    // Work that stopped early at the frame's deadline ends the script here,
    // not thousands of instructions (and calls) later.
    if (work_deadline::passed()) raise_budget_error(L);
}

// For a table of rows read by check_table2d: raises the error of indexing a
// non-table ("attempt to index a <type> value (row <i> of the <what>)") for
// the first row after row 1 that is not a table, as reading it from a script
// would.
void check_table_rows(lua_State* L, int index, const char* what);
