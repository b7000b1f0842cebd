// string.find, string.match, string.gmatch and string.gsub on the guarded
// matcher (script/pattern_matcher.h): the same results as the engine's own
// functions, but a pattern that nests too deeply is the script error
// "pattern too complex" instead of a crash, and one that backtracks past
// the frame's deadline ends with the budget error instead of holding the
// frame for hours.
#pragma once

#include "script/lua.h"

// Replaces the four functions in the state's `string` table (strings'
// methods see them too).  Raises Lua errors (run it protected).
void install_guarded_patterns(lua_State* L);
