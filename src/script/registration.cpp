// The registration of the library: every room's table, in library_order.
#include "script/library.h"

#include <cstring>

// Laid out by hand: each registration group starts on a new line.
// clang-format off
const char* const library_order[kLibrarySize] = {
    "swapbuf", "createbuf", "releasebuf",
    "set_frame_n", "copyframe", "dispsize", "color", "color_rgb", "color_hsv", "color_hsv_i",
    "color_hsv_m", "color_xyz", "color_lab", "fill", "fill_line_r", "ellipse", "linear", "copy",
    "alpha", "alpha_yc", "alpha_rgb", "flipv", "fliph", "resize", "rotate", "affine", "mosaic",
    "defocus", "diffuse", "laplacian", "gaussian", "median", "gamma", "sigmoid", "posterize",
    "posterize_rgb", "posterize_hsv", "normalize", "binarize", "font", "text", "apply_func",
    "functoy", "functoy_p", "merge_near", "mkmask_near", "merge_near_lab", "mkmask_near_lab",
    "get_yc", "set_yc", "mask_range", "mask_center", "yc2rgb", "rgb2yc", "yc2hsv", "hsv2yc",
    "tickcount", "msgbox",
    "mask_not", "mask_and", "mask_or", "mask_sub", "mask_xor", "erode", "dilate", "open", "close",
    "label4", "label8", "label2mask", "remove_hole",
    "mkmask", "mkmask_rgb", "mkmask_hsv", "mkmask_hsv_int", "mkmask_diff", "mkmask_diff_rgb",
    "mkmask_diff_hsv", "mkmask_diff_hsv_p", "mkmask_diff_hsv_c", "mkmask_diff_lab", "mkmask_p",
    "mkmask_p_rgb", "mkmask_p_hsv", "mkmask_p_hsv_p", "mkmask_p_hsv_c", "mkmask_p_lab",
    "mkmask_l", "mkmask_l_rgb", "mkmask_l_hsv", "mkmask_l_hsv_p", "mkmask_l_hsv_c",
    "mkmask_l_lab",
    "ocvtest", "cvcanny",
};
// clang-format on

namespace {

const luaL_Reg* const subsystem_tables[] = {
    script_functions,   buffer_functions, color_functions, draw_functions,
    geometry_functions, filter_functions, mask_functions,  ocv_functions,
};

}  // namespace

lua_CFunction find_library_function(const char* name) {
    for (const luaL_Reg* table : subsystem_tables)
        for (const luaL_Reg* entry = table; entry->name != nullptr; ++entry)
            if (std::strcmp(entry->name, name) == 0) return entry->func;
    return nullptr;
}

void register_library(lua_State* L) {
    for (const char* name : library_order) {
        const lua_CFunction f = find_library_function(name);
        if (f == nullptr) continue;
        lua_pushcclosure(L, f, 0);
        lua_setfield(L, LUA_GLOBALSINDEX, name);
    }
}
