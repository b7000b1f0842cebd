// The sandbox for untrusted scripts: no process control, no native modules,
// no debug library, no precompiled chunks, files only below the script
// folder.  The host program turns it on with --sandbox.
#pragma once

#include "script/lua.h"

// Installs the sandbox into a state whose standard libraries are open.
// Raises Lua errors (run it protected).
void apply_sandbox(lua_State* L, const char* script_folder);

// Pushes the script file at `path` as a function, refusing a precompiled
// chunk and a file outside the folder; raises on error.
void load_sandboxed_file(lua_State* L, const char* path);
