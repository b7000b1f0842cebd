// The script bindings of geometry: one int l_<name>(lua_State*) per script
// function, defined in the room's *_functions.cpp files and listed in
// geometry_functions (geometry/library.cpp).
#pragma once

#include "script/lua.h"

// Flips and mosaic.
int l_fliph(lua_State* L);
int l_flipv(lua_State* L);
int l_mosaic(lua_State* L);

// Resampling transforms.
int l_resize(lua_State* L);
int l_rotate(lua_State* L);
int l_affine(lua_State* L);
