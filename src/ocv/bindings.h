// The script bindings of the OpenCV bridge: one int l_<name>(lua_State*) per
// script function, defined in the room's *_functions.cpp files and listed in
// ocv_functions (ocv/library.cpp).
#pragma once

#include "script/lua.h"

int l_cvcanny(lua_State* L);
int l_ocvtest(lua_State* L);
