// fill(buf [, x, y, w, h, Y, Cb, Cr]), fill(buf, mask, x, y, w, h, Y, Cb, Cr,
// x2, y2, key) and fill_line_r(buf, x, y, w, h, px1, py1, px2, py2, Y, Cb,
// Cr).
#include "draw/fill.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

PIXEL_YC check_colour(lua_State* L, int first) {
    int v[3];
    check_ints(L, first, 3, v);
    return fill_colour(v[0], v[1], v[2]);
}

// The masked form: the colour goes where the mask at (x2, y2) exceeds key.
// The buffer's region and the mask's position are clipped together, as a
// pair whose first position is the buffer's.
int fill_under_mask(lua_State* L, const HostRecords& r) {
    const int buf = check_int(L, 1), mask = check_int(L, 2);
    const Region region = check_region(L, 3);
    const PIXEL_YC colour = check_colour(L, 7);
    const int x2 = check_int(L, 10), y2 = check_int(L, 11);
    const int key = check_int(L, 12);
    PairCall call(r, 12, {buf, mask, region.x, region.y, region.w, region.h, x2, y2});
    if (!resolve(L, call)) return 0;
    const PairArea& area = call.area;
    fill_masked(call.src, call.dst, {area.dx, area.dy, area.sx, area.sy, area.w, area.h}, colour,
                key);
    return 0;
}

int l_fill(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    const int n = check_arg_count(L);
    if (n == 12) return fill_under_mask(L, r);
    RegionCall call(r, n, {check_int(L, 1), r.picture()});
    PIXEL_YC colour{0, 0, 0};
    if (n == 8) {
        call.args.region = check_region(L, 2);
        colour = check_colour(L, 6);
    }
    if (resolve(L, call)) fill_region(call.frame, call.area, colour);
    return 0;
}

int l_fill_line_r(lua_State* L) {
    RegionCall call = begin_region_call(L);
    int p[4];
    check_ints(L, 6, 4, p);
    const PIXEL_YC colour = check_colour(L, 10);
    if (resolve(L, call)) fill_line_right(call.frame, call.area, {p[0], p[1], p[2], p[3]}, colour);
    return 0;
}

}  // namespace

const LibraryFunction fill_functions[] = {
    {"fill", l_fill, {1, 8, 12}},
    {"fill_line_r", l_fill_line_r, {12}},
    {},
};
