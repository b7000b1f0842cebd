// The Lua 5.1 C interface, with C linkage.
#pragma once

#include <lua5.1/lua.hpp>
