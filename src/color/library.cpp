// The script functions of this subsystem, in one registration table.
#include "script/library.h"

// Conversions and single-pixel access.
int l_yc2rgb(lua_State*);
int l_rgb2yc(lua_State*);
int l_yc2hsv(lua_State*);
int l_hsv2yc(lua_State*);
int l_get_yc(lua_State*);
int l_set_yc(lua_State*);
// Region colour.
int l_color(lua_State*);
int l_color_rgb(lua_State*);
int l_color_hsv(lua_State*);
int l_color_hsv_i(lua_State*);
int l_color_hsv_m(lua_State*);
int l_color_xyz(lua_State*);
int l_color_lab(lua_State*);
// Tone and levels.
int l_gamma(lua_State*);
int l_sigmoid(lua_State*);
int l_posterize(lua_State*);
int l_posterize_rgb(lua_State*);
int l_posterize_hsv(lua_State*);
int l_normalize(lua_State*);
int l_binarize(lua_State*);
// Per-pixel script callbacks.
int l_apply_func(lua_State*);
int l_functoy(lua_State*);
int l_functoy_p(lua_State*);

const luaL_Reg color_functions[] = {
    {"yc2rgb", l_yc2rgb},
    {"rgb2yc", l_rgb2yc},
    {"yc2hsv", l_yc2hsv},
    {"hsv2yc", l_hsv2yc},
    {"get_yc", l_get_yc},
    {"set_yc", l_set_yc},
    {"color", l_color},
    {"color_rgb", l_color_rgb},
    {"color_hsv", l_color_hsv},
    {"color_hsv_i", l_color_hsv_i},
    {"color_hsv_m", l_color_hsv_m},
    {"color_xyz", l_color_xyz},
    {"color_lab", l_color_lab},
    {"gamma", l_gamma},
    {"sigmoid", l_sigmoid},
    {"posterize", l_posterize},
    {"posterize_rgb", l_posterize_rgb},
    {"posterize_hsv", l_posterize_hsv},
    {"normalize", l_normalize},
    {"binarize", l_binarize},
    {"apply_func", l_apply_func},
    {"functoy", l_functoy},
    {"functoy_p", l_functoy_p},
    {nullptr, nullptr},
};
