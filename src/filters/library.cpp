// The script functions of this room, in one registration table: the end of
// its bindings.
#include "filters/bindings.h"
#include "script/library.h"

const luaL_Reg filter_functions[] = {
    {nullptr, nullptr},
};
