// The script functions of this room, in one registration table: the end of
// its bindings.
#include "script/library.h"

#include "mask/bindings.h"

const luaL_Reg mask_functions[] = {
    // Colour keys, graded, difference and near-colour masks, mask logic.
    {"mkmask", l_mkmask},
    {"mkmask_rgb", l_mkmask_rgb},
    {"mkmask_hsv", l_mkmask_hsv},
    {"mkmask_hsv_int", l_mkmask_hsv_int},
    {"mask_not", l_mask_not},
    {"mask_and", l_mask_and},
    {"mask_or", l_mask_or},
    {"mask_sub", l_mask_sub},
    {"mask_xor", l_mask_xor},
    {"mask_range", l_mask_range},
    {"mask_center", l_mask_center},
    {"mkmask_p", l_mkmask_p},
    {"mkmask_p_rgb", l_mkmask_p_rgb},
    {"mkmask_p_hsv", l_mkmask_p_hsv},
    {"mkmask_p_hsv_p", l_mkmask_p_hsv_p},
    {"mkmask_p_hsv_c", l_mkmask_p_hsv_c},
    {"mkmask_p_lab", l_mkmask_p_lab},
    {"mkmask_l", l_mkmask_l},
    {"mkmask_l_rgb", l_mkmask_l_rgb},
    {"mkmask_l_hsv", l_mkmask_l_hsv},
    {"mkmask_l_hsv_p", l_mkmask_l_hsv_p},
    {"mkmask_l_hsv_c", l_mkmask_l_hsv_c},
    {"mkmask_l_lab", l_mkmask_l_lab},
    {"mkmask_diff", l_mkmask_diff},
    {"mkmask_diff_rgb", l_mkmask_diff_rgb},
    {"mkmask_diff_hsv", l_mkmask_diff_hsv},
    {"mkmask_diff_hsv_p", l_mkmask_diff_hsv_p},
    {"mkmask_diff_hsv_c", l_mkmask_diff_hsv_c},
    {"mkmask_diff_lab", l_mkmask_diff_lab},
    {"merge_near", l_merge_near},
    {"mkmask_near", l_mkmask_near},
    {"merge_near_lab", l_merge_near_lab},
    {"mkmask_near_lab", l_mkmask_near_lab},
    // Morphology and labelling.
    {"erode", l_erode},
    {"dilate", l_dilate},
    {"open", l_open},
    {"close", l_close},
    {"label4", l_label4},
    {"label8", l_label8},
    {"label2mask", l_label2mask},
    {"remove_hole", l_remove_hole},
    {nullptr, nullptr},
};
