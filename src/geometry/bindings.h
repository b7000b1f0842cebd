// The script bindings of geometry: one int l_<name>(lua_State*) per script
// function, defined in the room's *_functions.cpp files and listed in
// geometry_functions (geometry/library.cpp).  None is built yet.
#pragma once

#include "script/lua.h"
