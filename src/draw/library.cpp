// The script functions of this room, in one registration table: the end of
// its bindings.
#include "script/library.h"

#include "draw/bindings.h"

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
    // Text.
    {"font", l_font},
    {"text", l_text},
    {nullptr, nullptr},
};
