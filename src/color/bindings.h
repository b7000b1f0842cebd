// The script bindings of colour and tone: one int l_<name>(lua_State*) per
// script function, defined in the room's *_functions.cpp files and listed in
// color_functions (color/library.cpp).
#pragma once

#include "script/lua.h"

// Conversions and single-pixel access.
int l_yc2rgb(lua_State* L);
int l_rgb2yc(lua_State* L);
int l_yc2hsv(lua_State* L);
int l_hsv2yc(lua_State* L);
int l_get_yc(lua_State* L);
int l_set_yc(lua_State* L);
// Region colour.
int l_color(lua_State* L);
int l_color_rgb(lua_State* L);
int l_color_hsv(lua_State* L);
int l_color_hsv_i(lua_State* L);
int l_color_hsv_m(lua_State* L);
int l_color_xyz(lua_State* L);
int l_color_lab(lua_State* L);
// Tone and levels.
int l_gamma(lua_State* L);
int l_sigmoid(lua_State* L);
int l_posterize(lua_State* L);
int l_posterize_rgb(lua_State* L);
int l_posterize_hsv(lua_State* L);
int l_normalize(lua_State* L);
int l_binarize(lua_State* L);
// Per-pixel script callbacks.
int l_apply_func(lua_State* L);
int l_functoy(lua_State* L);
int l_functoy_p(lua_State* L);
