// The script functions of this room, in one registration table: the end of
// its bindings.
#include "ocv/bindings.h"
#include "script/library.h"

const luaL_Reg ocv_functions[] = {
    {nullptr, nullptr},
};
