// The script library: every script function, registered as a Lua global.
//
// Each room lists its bindings (declared in its bindings.h) in a luaL_Reg
// table ending in a null entry, in the room's library.cpp.  library_order
// (registration.cpp) holds the 95 names in the order they are registered; a
// name whose function is not built yet is simply skipped.
#pragma once

#include "script/lua.h"

extern const luaL_Reg script_functions[];    // tickcount, msgbox
extern const luaL_Reg buffer_functions[];    // buffer management
extern const luaL_Reg color_functions[];     // conversions, colour and tone
extern const luaL_Reg draw_functions[];      // copy, alpha, shapes, text
extern const luaL_Reg geometry_functions[];  // flips, mosaic, resampling
extern const luaL_Reg filter_functions[];    // neighbourhood filters
extern const luaL_Reg mask_functions[];      // masks, morphology, labelling
extern const luaL_Reg ocv_functions[];       // OpenCV bridge

constexpr int kLibrarySize = 95;
extern const char* const library_order[kLibrarySize];

// Registers every built function as a global, in library_order.
void register_library(lua_State* L);

// The binding registered under `name`, or null when it is not built.
lua_CFunction find_library_function(const char* name);
