// The script functions of this room, in one registration table: the end of
// its bindings.
#include "script/library.h"

#include "ocv/bindings.h"

const luaL_Reg ocv_functions[] = {
    {"ocvtest", l_ocvtest},
    {"cvcanny", l_cvcanny},
    {nullptr, nullptr},
};
