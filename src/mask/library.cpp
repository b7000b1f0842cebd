// The script functions of this subsystem, in one registration table.
#include "script/library.h"

const luaL_Reg mask_functions[] = {
    {nullptr, nullptr},
};
