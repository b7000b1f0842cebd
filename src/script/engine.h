// The script engine: the one Lua state, its (re)loading, the per-frame call
// of the script's video_filter(info, vars), and the error log "lua_err.txt".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/aviutl.h"
#include "script/lua.h"

// Runs one frame: buffer set-up, reload check, video_filter, display copy.
// Returns 1 when the frame counts as processed (also when the script failed),
// 0 when the buffer slots could not be set up.
int run_frame(FILTER* fp, FILTER_PROC_INFO* fpip);

// What a script may spend.  A frame (or a load) that runs longer than the
// timeout ends with the script error "script took longer than S s in this
// frame"; allocations beyond the memory cap fail with Lua's "not enough
// memory".  0 means no limit.  By default 30 s and half the machine's memory.
// With `sandbox` the script runs without process control, native modules,
// the debug library or precompiled chunks, and reaches files only below its
// folder (script/sandbox.h).
struct ScriptLimits {
    double frame_timeout_seconds = 0;
    std::size_t memory_bytes = 0;
    bool sandbox = false;
};
ScriptLimits default_script_limits();
void set_script_limits(const ScriptLimits& limits);
ScriptLimits script_limits();

// Raises the budget error, "script took longer than S s in this frame", for
// code that found the frame's deadline passed (the count hook, the pattern
// matcher).  The hook then runs at every instruction, so a pcall that
// catches the error meets it again at once.
int raise_budget_error(lua_State* L);

// Closes the Lua state and the log.
void close_engine();

// Appends one line to the error log, opening (and truncating) it first if
// needed; a log that cannot be opened drops the line.  A listener, when one
// is set, hears the text first, whole, whether or not the log takes it.  A
// line longer than kMessageLimit (4 KiB) is cut in the log and ends in
// "…(cut)"; a log that reaches 1 MiB is renamed "lua_err.txt.1" and a new
// one begins.
void log_line(const char* text);

// The host program's ear on the log (null: none).
void set_log_listener(void (*listener)(const char* text));

// Logs the error value on top of the stack and pops it.
void log_error(lua_State* L);

// (Re)writes registry["LUA_FILTER_INFO"] with the three records.
void publish_records(lua_State* L, FILTER* fp, FILTER_PROC_INFO* fpip);

// The script file for a script number: "filter.lua" for 0, else "filterN.lua".
std::string script_file_name(int script_no);

// Replaces the clock of the reload check (whole seconds); null restores the
// system clock.  For tests of the reload rules.
void set_engine_clock(std::int64_t (*clock)());

// The record published to library functions as lfip.
struct LUA_FILTER_INFO;
LUA_FILTER_INFO* engine_filter_info();

// True while a Lua state exists (for tests and the host's diagnostics).
bool engine_has_state();
