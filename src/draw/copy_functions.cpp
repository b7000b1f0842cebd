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
        // The triple's buffers are source, destination and mask.
        TripleCall call(r, n, read_triple_args(L));
        const int key = check_int(L, 12);
        if (resolve(L, call)) copy_masked(call.a, call.b, call.dst, masked_area(call.area), key);
        return 0;
    }
    PairCall call(r, n, read_pair_or_picture_args(L, r, n));
    const int key = n == 9 ? check_int(L, 9) : 0;
    if (!resolve(L, call)) return 0;
    const PairArea& area = call.area;
    if (n == 9)
        copy_keyed(call.src, call.dst, area, key);
    else
        copy_area(call.src, area.sx, area.sy, call.dst, area.dx, area.dy, area.w, area.h);
    return 0;
}

}  // namespace

const LibraryFunction copy_functions[] = {
    {"copy", l_copy, {2, 8, 9, 12}},
    {},
};
