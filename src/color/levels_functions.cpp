// Script functions normalize(buf, x, y, w, h) and
// binarize(buf, x, y, w, h, threshold).
#include "color/tone.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

int l_normalize(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L);
    const RegionArgs args = read_region_args(L);
    Frame frame;
    Region area;
    if (resolve_region(L, r, args, frame, area)) normalize_gamut(frame, area);
    return 0;
}

int l_binarize(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L);
    const RegionArgs args = read_region_args(L);
    const int threshold = check_int(L, 6);
    Frame frame;
    Region area;
    if (resolve_region(L, r, args, frame, area)) binarize_luma(frame, area, threshold);
    return 0;
}

}  // namespace

const LibraryFunction levels_functions[] = {
    {"normalize", l_normalize, {5}},
    {"binarize", l_binarize, {6}},
    {},
};
