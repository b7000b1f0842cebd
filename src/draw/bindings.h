// The script functions of the drawing room (registered in library.cpp).
#pragma once

#include "script/lua.h"

// Shape filling.
int l_fill(lua_State* L);
int l_fill_line_r(lua_State* L);
int l_ellipse(lua_State* L);
