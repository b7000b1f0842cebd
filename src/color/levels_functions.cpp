// Script functions normalize(buf, x, y, w, h) and
// binarize(buf, x, y, w, h, threshold).
#include "color/tone.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

int l_normalize(lua_State* L) {
    RegionCall call = begin_region_call(L);
    if (resolve(L, call)) normalize_gamut(call.frame, call.area);
    return 0;
}

int l_binarize(lua_State* L) {
    RegionCall call = begin_region_call(L);
    const int threshold = check_int(L, 6);
    if (resolve(L, call)) binarize_luma(call.frame, call.area, threshold);
    return 0;
}

}  // namespace

const LibraryFunction levels_functions[] = {
    {"normalize", l_normalize, {5}},
    {"binarize", l_binarize, {6}},
    {},
};
