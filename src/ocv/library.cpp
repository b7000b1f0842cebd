// The script functions of this subsystem, in one registration table.
#include "ocv/bindings.h"
#include "script/library.h"

const luaL_Reg ocv_functions[] = {
    {"ocvtest", l_ocvtest},
    {"cvcanny", l_cvcanny},
    {nullptr, nullptr},
};
