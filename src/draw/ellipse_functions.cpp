// ellipse(buf, cx, cy, rx, ry, Y, Cb, Cr).
#include "draw/ellipse.h"
#include "draw/fill.h"
#include "script/binding.h"
#include "script/library.h"

namespace {

int l_ellipse(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L);
    int v[8];
    check_ints(L, 1, 8, v);
    if (v[3] < 1 || v[4] < 1) return 0;
    const Frame frame = require_frame(L, r, v[0]);
    fill_ellipse(frame, v[1], v[2], v[3], v[4], fill_colour(v[5], v[6], v[7]));
    return 0;
}

}  // namespace

const LibraryFunction ellipse_functions[] = {
    {"ellipse", l_ellipse, {8}},
    {},
};
