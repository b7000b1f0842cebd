// The script functions of this subsystem, in one registration table.
#include "script/library.h"

// Conversions and single-pixel access.
int l_yc2rgb(lua_State*);
int l_rgb2yc(lua_State*);
int l_yc2hsv(lua_State*);
int l_hsv2yc(lua_State*);
int l_get_yc(lua_State*);
int l_set_yc(lua_State*);

const luaL_Reg color_functions[] = {
    {"yc2rgb", l_yc2rgb}, {"rgb2yc", l_rgb2yc}, {"yc2hsv", l_yc2hsv},
    {"hsv2yc", l_hsv2yc}, {"get_yc", l_get_yc}, {"set_yc", l_set_yc},
    {nullptr, nullptr},
};
