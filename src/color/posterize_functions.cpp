// Script functions posterize, posterize_rgb and posterize_hsv:
//   posterize*(buf, x, y, w, h, n1, n2, n3), n1..n3 the level counts.
#include "color/tone.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

template <void (*Kernel)(const Frame&, const Region&, const int*)>
int posterize_binding(lua_State* L) {
    RegionCall call = begin_region_call(L);
    int levels[3];
    check_ints(L, 6, 3, levels);
    if (resolve(L, call)) Kernel(call.frame, call.area, levels);
    return 0;
}

}  // namespace

const LibraryFunction posterize_functions[] = {
    {"posterize", posterize_binding<posterize_yc>, {8}},
    {"posterize_rgb", posterize_binding<posterize_rgb>, {8}},
    {"posterize_hsv", posterize_binding<posterize_hsv>, {8}},
    {},
};
