// Script function defocus(src, dst, sx, sy, w, h, dx, dy, kw, kh).
#include "filters/defocus.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

int l_defocus(lua_State* L) { return window_function(L, "defocus", defocus_region); }

}  // namespace

const LibraryFunction defocus_functions[] = {
    {"defocus", l_defocus, {10}},
    {},
};
