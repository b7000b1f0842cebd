// The script functions of this room, in one registration table: the end of
// its bindings.
#include "script/library.h"

#include "geometry/bindings.h"

const luaL_Reg geometry_functions[] = {
    {nullptr, nullptr},
};
