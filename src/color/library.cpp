// The script functions of this room, in one registration table: the end of
// its bindings.
#include "script/library.h"

#include "color/bindings.h"

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
