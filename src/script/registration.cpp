// The library: the family tables, and the order in which their functions
// become Lua globals.
#include <cstring>
#include <iterator>
#include <mutex>
#include <unordered_map>

#include "script/library.h"

namespace {

// Every family.  A new family adds its table here (declared in library.h).
const LibraryFunction* const families[] = {
    buffer_functions,      frame_functions,           utility_functions,     conversion_functions,
    pixel_functions,       region_color_functions,    tone_curve_functions,  posterize_functions,
    levels_functions,      pixel_callback_functions,  copy_functions,        alpha_functions,
    fill_functions,        ellipse_functions,         text_functions,        flip_functions,
    mosaic_functions,      resample_functions,        convolution_functions, gaussian_functions,
    defocus_functions,     diffuse_functions,         median_functions,      key_mask_functions,
    graded_mask_functions, difference_mask_functions, mask_logic_functions,  mask_query_functions,
    near_merge_functions,  morphology_functions,      label_functions,       bridge_functions,
};

// The order of registration.  Scripts can observe it (the order of
// pairs(_G), which global exists first), so it does not change; a new
// function adds its name at the end of its group.  Laid out by hand: each
// registration group starts on a new line.
// clang-format off
const char* const order[] = {
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

}  // namespace

std::vector<int> ArgCounts::listed() const {
    std::vector<int> counts;
    if (any_) return counts;
    for (int n = 0; n < 32; ++n)
        if (accepts(n)) counts.push_back(n);
    return counts;
}

std::span<const LibraryFunction* const> library_families() { return families; }

std::span<const char* const> library_order() { return order; }

const LibraryFunction* find_library_function(const char* name) {
    for (const LibraryFunction* family : families)
        for (const LibraryFunction* row = family; row->name != nullptr; ++row)
            if (std::strcmp(row->name, name) == 0) return row;
    return nullptr;
}

std::vector<const LibraryFunction*> library_functions() {
    std::vector<const LibraryFunction*> rows;
    for (const char* name : order)
        if (const LibraryFunction* row = find_library_function(name)) rows.push_back(row);
    return rows;
}

namespace {

// The rows by their binding.  Functions are registered as plain C functions,
// without upvalues, so a binding finds its row through the function Lua is
// running (check_arg_count); a row is entered when it is first pushed.
std::mutex rows_mutex;
std::unordered_map<lua_CFunction, const LibraryFunction*> rows_by_binding;

}  // namespace

void push_library_function(lua_State* L, const LibraryFunction& row) {
    {
        const std::lock_guard lock(rows_mutex);
        rows_by_binding.try_emplace(row.function, &row);
    }
    lua_pushcfunction(L, row.function);
}

const LibraryFunction* library_row_of(lua_CFunction binding) {
    const std::lock_guard lock(rows_mutex);
    const auto found = rows_by_binding.find(binding);
    return found == rows_by_binding.end() ? nullptr : found->second;
}

void register_library(lua_State* L) {
    for (const char* name : order) {
        const LibraryFunction* row = find_library_function(name);
        if (row == nullptr) continue;
        push_library_function(L, *row);
        lua_setfield(L, LUA_GLOBALSINDEX, name);
    }
}

extern "C" QUORVEL_EXPORT int QuorvelLibraryFunction(int index, const char** name,
                                                     unsigned* counts) {
    if (index < 0 || static_cast<std::size_t>(index) >= std::size(order)) return 0;
    const LibraryFunction* row = find_library_function(order[index]);
    if (row == nullptr) return 0;
    *name = row->name;
    *counts = row->counts.bits();
    return 1;
}
