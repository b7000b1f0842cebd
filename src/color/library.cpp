// The script functions of this subsystem, in one registration table.
#include "script/library.h"

const luaL_Reg color_functions[] = {
    {nullptr, nullptr},
};
