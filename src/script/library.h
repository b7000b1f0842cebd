// The script library: every script function, registered as a Lua global.
//
// A family of functions lives in one <family>_functions.cpp, which ends with
// its table, as a Lua library ends with its luaL_Reg list: one row per
// function, {name, binding, accepted argument counts}, closed by an empty
// row.  The library is the concatenation of the family tables, registered
// in the order of library_order() (registration.cpp).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "platform/export.h"
#include "script/lua.h"

// The argument counts a script function accepts: a set of counts from 0 to
// 31, or any count (a function that checks none and ignores what it does
// not use).
class ArgCounts {
public:
    constexpr ArgCounts() = default;
    constexpr ArgCounts(std::initializer_list<int> counts) {
        for (int n : counts) bits_ |= std::uint32_t{1} << n;
    }
    static constexpr ArgCounts any() {
        ArgCounts counts;
        counts.any_ = true;
        return counts;
    }

    constexpr bool accepts(int n) const {
        return any_ || (n >= 0 && n < 32 && ((bits_ >> n) & 1u) != 0);
    }
    // Bit n set when n arguments are accepted; 0 for any count.
    constexpr std::uint32_t bits() const { return any_ ? 0u : bits_; }
    // The accepted counts, smallest first; empty for any count.
    std::vector<int> listed() const;

private:
    std::uint32_t bits_ = 0;
    bool any_ = false;
};

inline constexpr ArgCounts any_count = ArgCounts::any();

// One row of a family's table.  The binding finds its row again by the
// function Lua is running (check_arg_count in script/binding.h).
struct LibraryFunction {
    const char* name = nullptr;  // the Lua global; null in the closing row
    lua_CFunction function = nullptr;
    ArgCounts counts;
};

// The family tables, each at the end of its <family>_functions.cpp.
extern const LibraryFunction buffer_functions[];
extern const LibraryFunction frame_functions[];
extern const LibraryFunction utility_functions[];
extern const LibraryFunction conversion_functions[];
extern const LibraryFunction pixel_functions[];
extern const LibraryFunction region_color_functions[];
extern const LibraryFunction tone_curve_functions[];
extern const LibraryFunction posterize_functions[];
extern const LibraryFunction levels_functions[];
extern const LibraryFunction pixel_callback_functions[];
extern const LibraryFunction copy_functions[];
extern const LibraryFunction alpha_functions[];
extern const LibraryFunction fill_functions[];
extern const LibraryFunction ellipse_functions[];
extern const LibraryFunction text_functions[];
extern const LibraryFunction flip_functions[];
extern const LibraryFunction mosaic_functions[];
extern const LibraryFunction resample_functions[];
extern const LibraryFunction convolution_functions[];
extern const LibraryFunction gaussian_functions[];
extern const LibraryFunction defocus_functions[];
extern const LibraryFunction diffuse_functions[];
extern const LibraryFunction median_functions[];
extern const LibraryFunction key_mask_functions[];
extern const LibraryFunction graded_mask_functions[];
extern const LibraryFunction difference_mask_functions[];
extern const LibraryFunction mask_logic_functions[];
extern const LibraryFunction mask_query_functions[];
extern const LibraryFunction near_merge_functions[];
extern const LibraryFunction morphology_functions[];
extern const LibraryFunction label_functions[];
extern const LibraryFunction bridge_functions[];

// Every family table, and the names in the order of registration.
std::span<const LibraryFunction* const> library_families();
std::span<const char* const> library_order();

// The row named `name` in any family, or null.
const LibraryFunction* find_library_function(const char* name);

// The rows of library_order() that some family holds, in that order.
std::vector<const LibraryFunction*> library_functions();

// Pushes the row's binding, a C function without upvalues, and remembers
// the row as the binding's own.
void push_library_function(lua_State* L, const LibraryFunction& row);

// The row pushed with `binding`, or null when none was.
const LibraryFunction* library_row_of(lua_CFunction binding);

// Registers every function as a global, in library_order().
void register_library(lua_State* L);

// For host programs that list the library (quorvel functions): the function
// at `index` in the order of registration.  Returns 0 past the last; else 1,
// with its global's name and its ArgCounts bits (0: any count).
extern "C" QUORVEL_EXPORT int QuorvelLibraryFunction(int index, const char** name,
                                                     unsigned* counts);
