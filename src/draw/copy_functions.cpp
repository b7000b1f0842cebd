// Script function copy:
//   copy(src, dst [, x1, y1, w, h, x2, y2 [, key]])
//   copy(src, dst, mask, x1, y1, w, h, x2, y2, x3, y3, key)
#include "buffers/copy_frame.h"
#include "draw/copy.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

int l_copy(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    const int n = check_arg_count(L);
    if (n == 12) {
        const TripleArgs args = read_triple_args(L);
        const int key = check_int(L, 12);
        Frame src, dst, mask;
        TripleArea area;
        if (resolve_triple(L, r, args, src, dst, mask, area))
            copy_masked(src, dst, mask, masked_area(area), key);
        return 0;
    }
    const PairArgs args = read_pair_or_picture_args(L, r, n);
    const int key = n == 9 ? check_int(L, 9) : 0;
    Frame src, dst;
    PairArea area;
    if (!resolve_pair(L, r, args, src, dst, area)) return 0;
    if (n == 9)
        copy_keyed(src, dst, area, key);
    else
        copy_area(src, area.sx, area.sy, dst, area.dx, area.dy, area.w, area.h);
    return 0;
}

}  // namespace

const LibraryFunction copy_functions[] = {
    {"copy", l_copy, {2, 8, 9, 12}},
    {},
};
