// The script bindings of masks, morphology and labelling: one int
// l_<name>(lua_State*) per script function, defined in the room's
// *_functions.cpp files and listed in mask_functions (mask/library.cpp).
#pragma once

#include "script/lua.h"

// Colour keys, graded, difference and near-colour masks, mask logic.
int l_mkmask(lua_State* L);
int l_mkmask_rgb(lua_State* L);
int l_mkmask_hsv(lua_State* L);
int l_mkmask_hsv_int(lua_State* L);
int l_mask_not(lua_State* L);
int l_mask_and(lua_State* L);
int l_mask_or(lua_State* L);
int l_mask_sub(lua_State* L);
int l_mask_xor(lua_State* L);
int l_mask_range(lua_State* L);
int l_mask_center(lua_State* L);
int l_mkmask_p(lua_State* L);
int l_mkmask_p_rgb(lua_State* L);
int l_mkmask_p_hsv(lua_State* L);
int l_mkmask_p_hsv_p(lua_State* L);
int l_mkmask_p_hsv_c(lua_State* L);
int l_mkmask_p_lab(lua_State* L);
int l_mkmask_l(lua_State* L);
int l_mkmask_l_rgb(lua_State* L);
int l_mkmask_l_hsv(lua_State* L);
int l_mkmask_l_hsv_p(lua_State* L);
int l_mkmask_l_hsv_c(lua_State* L);
int l_mkmask_l_lab(lua_State* L);
int l_mkmask_diff(lua_State* L);
int l_mkmask_diff_rgb(lua_State* L);
int l_mkmask_diff_hsv(lua_State* L);
int l_mkmask_diff_hsv_p(lua_State* L);
int l_mkmask_diff_hsv_c(lua_State* L);
int l_mkmask_diff_lab(lua_State* L);
int l_merge_near(lua_State* L);
int l_mkmask_near(lua_State* L);
int l_merge_near_lab(lua_State* L);
int l_mkmask_near_lab(lua_State* L);

// Morphology and labelling.
int l_erode(lua_State* L);
int l_dilate(lua_State* L);
int l_open(lua_State* L);
int l_close(lua_State* L);
int l_label4(lua_State* L);
int l_label8(lua_State* L);
int l_label2mask(lua_State* L);
int l_remove_hole(lua_State* L);
