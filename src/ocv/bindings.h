// The script functions of the OpenCV bridge.
#pragma once

#include "script/lua.h"

int l_cvcanny(lua_State* L);
int l_ocvtest(lua_State* L);
