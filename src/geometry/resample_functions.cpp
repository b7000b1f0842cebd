// resize(src, dst, sx, sy, sw, sh, dx, dy, dw, dh),
// rotate(src, dst, angle, cx, cy, sx, sy, w, h, dx, dy) and
// affine(src, dst, x, y, w, h, m11, m12, m13, m21, m22, m23).
#include "geometry/resample.h"
#include "geometry/source_copy.h"
#include "script/binding.h"
#include "script/library.h"

namespace {

// Resolves source then destination and runs `kernel` on them.
template <class Job>
int run_transform(lua_State* L, const HostRecords& r, int src_number, int dst_number,
                  const Job& job, void (*kernel)(const Frame&, const Frame&, const Job&)) {
    const Frame src = require_frame(L, r, src_number);
    const Frame dst = require_frame(L, r, dst_number);
    guarded(L,
            [&] { with_distinct_source(src, dst, [&](const Frame& s) { kernel(s, dst, job); }); });
    return 0;
}

int l_resize(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L);
    int v[10];
    check_ints(L, 1, 10, v);
    const ResizeJob job{v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9]};
    if (job.sw < 1 || job.sh < 1 || job.dw < 1 || job.dh < 1) return 0;
    return run_transform(L, r, v[0], v[1], job, resize_region);
}

int l_rotate(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L);
    const int src = check_int(L, 1), dst = check_int(L, 2);
    RotateJob job;
    job.angle = luaL_checknumber(L, 3);
    int v[8];
    check_ints(L, 4, 8, v);
    job.cx = v[0], job.cy = v[1], job.sx = v[2], job.sy = v[3];
    job.w = v[4], job.h = v[5], job.dx = v[6], job.dy = v[7];
    if (job.w < 1 || job.h < 1) return 0;
    return run_transform(L, r, src, dst, job, rotate_region);
}

int l_affine(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L);
    int v[6];
    check_ints(L, 1, 6, v);
    AffineJob job;
    job.x = v[2], job.y = v[3], job.w = v[4], job.h = v[5];
    for (int k = 0; k < 6; ++k) job.m[k] = luaL_checknumber(L, 7 + k);
    if (job.w < 1 || job.h < 1) return 0;
    return run_transform(L, r, v[0], v[1], job, affine_region);
}

}  // namespace

const LibraryFunction resample_functions[] = {
    {"resize", l_resize, {10}},
    {"rotate", l_rotate, {11}},
    {"affine", l_affine, {12}},
    {},
};
