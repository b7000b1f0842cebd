// The script functions of this room, in one registration table: the end of
// its bindings.
#include "script/library.h"

#include "filters/bindings.h"

const luaL_Reg filter_functions[] = {
    {nullptr, nullptr},
};
