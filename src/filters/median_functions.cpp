// Script function median(src, dst, sx, sy, w, h, dx, dy, kw, kh).
#include "filters/median.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

int l_median(lua_State* L) { return window_function(L, "median", median_region); }

}  // namespace

const LibraryFunction median_functions[] = {
    {"median", l_median, {10}},
    {},
};
