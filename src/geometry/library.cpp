// The script functions of this room, in one registration table: the end of
// its bindings.
#include "geometry/bindings.h"
#include "script/library.h"

const luaL_Reg geometry_functions[] = {
    {nullptr, nullptr},
};
