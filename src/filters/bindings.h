// The script bindings of the neighbourhood filters: one int
// l_<name>(lua_State*) per script function, defined in the room's
// *_functions.cpp files and listed in filter_functions (filters/library.cpp).
// None is built yet.
#pragma once

#include "script/lua.h"
