// The script functions of this subsystem, in one registration table.
#include "draw/bindings.h"
#include "script/library.h"

// Copy and alpha blending.
int l_copy(lua_State*);
int l_alpha(lua_State*);
int l_alpha_yc(lua_State*);
int l_alpha_rgb(lua_State*);

const luaL_Reg draw_functions[] = {
    // Copy and alpha blending.
    {"copy", l_copy},
    {"alpha", l_alpha},
    {"alpha_yc", l_alpha_yc},
    {"alpha_rgb", l_alpha_rgb},
    // Shape filling.
    {"fill", l_fill},
    {"fill_line_r", l_fill_line_r},
    {"ellipse", l_ellipse},
    {nullptr, nullptr},
};
