// The script functions of the drawing room that other files list.
#pragma once

#include "script/lua.h"

// Text: draw/text_functions.cpp.
int l_font(lua_State* L);
int l_text(lua_State* L);
