// The script bindings of the script room: one int l_<name>(lua_State*) per
// script function, defined in utility_functions.cpp and buffer_functions.cpp
// and listed in script_functions and buffer_functions (script/library.cpp).
#pragma once

#include "script/lua.h"

// Utilities.
int l_tickcount(lua_State* L);
int l_msgbox(lua_State* L);

// Buffer management; the store itself is buffers/store.h.
int l_swapbuf(lua_State* L);
int l_createbuf(lua_State* L);
int l_releasebuf(lua_State* L);
int l_set_frame_n(lua_State* L);
int l_copyframe(lua_State* L);
int l_dispsize(lua_State* L);
