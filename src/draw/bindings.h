// The script bindings of compositing and drawing: one int
// l_<name>(lua_State*) per script function, defined in the room's
// *_functions.cpp files and listed in draw_functions (draw/library.cpp).
#pragma once

#include "script/lua.h"

// Copy and alpha blending.
int l_copy(lua_State* L);
int l_alpha(lua_State* L);
int l_alpha_yc(lua_State* L);
int l_alpha_rgb(lua_State* L);

// Shape filling.
int l_fill(lua_State* L);
int l_fill_line_r(lua_State* L);
int l_ellipse(lua_State* L);

// Text.
int l_font(lua_State* L);
int l_text(lua_State* L);
