// The script functions of this subsystem, in one registration table.
#include "script/library.h"

// Colour keys, graded, difference and near-colour masks, mask logic.
int l_mkmask(lua_State*);
int l_mkmask_rgb(lua_State*);
int l_mkmask_hsv(lua_State*);
int l_mkmask_hsv_int(lua_State*);

const luaL_Reg mask_functions[] = {
    // Colour keys, graded, difference and near-colour masks, mask logic.
    {"mkmask", l_mkmask},
    {"mkmask_rgb", l_mkmask_rgb},
    {"mkmask_hsv", l_mkmask_hsv},
    {"mkmask_hsv_int", l_mkmask_hsv_int},
    {nullptr, nullptr},
};
