// The script functions of this room, in one registration table: the end of
// its bindings.
#include "script/library.h"

#include "filters/bindings.h"

const luaL_Reg filter_functions[] = {
    {"linear", l_linear},   {"laplacian", l_laplacian}, {"gaussian", l_gaussian},
    {"defocus", l_defocus}, {"diffuse", l_diffuse},     {"median", l_median},
    {nullptr, nullptr},
};
