// fill(buf [, x, y, w, h, Y, Cb, Cr]), fill(buf, mask, x, y, w, h, Y, Cb, Cr,
// x2, y2, key), fill_line_r(buf, x, y, w, h, px1, py1, px2, py2, Y, Cb, Cr)
// and ellipse(buf, cx, cy, rx, ry, Y, Cb, Cr).
#include "draw/bindings.h"
#include "draw/ellipse.h"
#include "draw/fill.h"
#include "script/binding.h"

namespace {

PIXEL_YC check_colour(lua_State* L, int first) {
    int v[3];
    check_ints(L, first, 3, v);
    return fill_colour(v[0], v[1], v[2]);
}

// The masked form: the colour goes where the mask at (x2, y2) exceeds key.
int fill_under_mask(lua_State* L, const HostRecords& r) {
    const int buf = check_int(L, 1), mask = check_int(L, 2);
    Region region = check_region(L, 3);
    const PIXEL_YC colour = check_colour(L, 7);
    int x2 = check_int(L, 10), y2 = check_int(L, 11);
    const int key = check_int(L, 12);
    if (region.empty()) return 0;
    const Frame frame = require_frame(L, r, buf);
    const Frame m = require_frame(L, r, mask);
    const int W = r.fpip->max_w, H = r.fpip->max_h;
    clip_region_pair(region.x, region.y, x2, y2, region.w, region.h, W, H, W, H);
    if (region.empty()) return 0;
    fill_masked(frame, m, {x2, y2, region.x, region.y, region.w, region.h}, colour, key);
    return 0;
}

}  // namespace

int l_fill(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    const int n = check_arg_count(L, {1, 8, 12});
    if (n == 12) return fill_under_mask(L, r);
    const int buf = check_int(L, 1);
    Region region = r.picture();
    PIXEL_YC colour{0, 0, 0};
    if (n == 8) {
        region = check_region(L, 2);
        colour = check_colour(L, 6);
    }
    if (region.empty()) return 0;
    const Frame frame = require_frame(L, r, buf);
    clip_region(region, frame.max_w, frame.max_h);
    fill_region(frame, region, colour);
    return 0;
}

int l_fill_line_r(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {12});
    const int buf = check_int(L, 1);
    Region region = check_region(L, 2);
    int p[4];
    check_ints(L, 6, 4, p);
    const PIXEL_YC colour = check_colour(L, 10);
    if (region.empty()) return 0;
    const Frame frame = require_frame(L, r, buf);
    clip_region(region, frame.max_w, frame.max_h);
    fill_line_right(frame, region, {p[0], p[1], p[2], p[3]}, colour);
    return 0;
}

int l_ellipse(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {8});
    int v[5];
    check_ints(L, 1, 5, v);
    const PIXEL_YC colour = check_colour(L, 6);
    if (v[3] < 1 || v[4] < 1) return 0;
    const Frame frame = require_frame(L, r, v[0]);
    fill_ellipse(frame, v[1], v[2], v[3], v[4], colour);
    return 0;
}
