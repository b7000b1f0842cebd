// The script functions of the spatial filters.
#pragma once

#include "script/lua.h"

int l_linear(lua_State* L);
int l_laplacian(lua_State* L);
int l_gaussian(lua_State* L);
int l_defocus(lua_State* L);
int l_diffuse(lua_State* L);
int l_median(lua_State* L);
