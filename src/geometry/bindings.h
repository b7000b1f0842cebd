// The script functions of the geometry room (registered in library.cpp).
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
