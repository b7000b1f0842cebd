// The script functions of this subsystem, in one registration table.
#include "filters/bindings.h"
#include "script/library.h"

const luaL_Reg filter_functions[] = {
    {"linear", l_linear},
    {"laplacian", l_laplacian},
    {"gaussian", l_gaussian},
    {"defocus", l_defocus},
    {"diffuse", l_diffuse},
    {"median", l_median},
    {nullptr, nullptr},
};
