// Script bindings of the tone and level operations: gamma, sigmoid,
// posterize, posterize_rgb, posterize_hsv, normalize, binarize.  Each takes
// buffer, x, y, w, h first, then its own numbers, and returns nothing.
#include "color/bindings.h"
#include "color/tone.h"
#include "script/area_args.h"

namespace {

void read_doubles(lua_State* L, int first, int count, double* out) {
    for (int k = 0; k < count; ++k) out[k] = luaL_checknumber(L, first + k);
}

// The three posterize functions share their arguments: three level counts.
template <void (*Kernel)(const Frame&, const Region&, const int*)>
int posterize_binding(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {8});
    const RegionArgs args = read_region_args(L);
    int levels[3];
    check_ints(L, 6, 3, levels);
    Frame frame;
    Region area;
    if (resolve_region(L, r, args, frame, area)) Kernel(frame, area, levels);
    return 0;
}

}  // namespace

// gamma(buffer, x, y, w, h, gY, gCb, gCr)
int l_gamma(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {8});
    const RegionArgs args = read_region_args(L);
    double gain[3];
    read_doubles(L, 6, 3, gain);
    Frame frame;
    Region area;
    if (!resolve_region(L, r, args, frame, area)) return 0;
    guarded(L, [&] { gamma_curve(frame, area, gain); });
    return 0;
}

// sigmoid(buffer, x, y, w, h, aY, aCb, aCr, cY, cCb, cCr)
int l_sigmoid(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {11});
    const RegionArgs args = read_region_args(L);
    double gain[3], centre[3];
    read_doubles(L, 6, 3, gain);
    read_doubles(L, 9, 3, centre);
    Frame frame;
    Region area;
    if (!resolve_region(L, r, args, frame, area)) return 0;
    guarded(L, [&] { sigmoid_curve(frame, area, gain, centre); });
    return 0;
}

int l_posterize(lua_State* L) { return posterize_binding<posterize_yc>(L); }
int l_posterize_rgb(lua_State* L) { return posterize_binding<posterize_rgb>(L); }
int l_posterize_hsv(lua_State* L) { return posterize_binding<posterize_hsv>(L); }

// normalize(buffer, x, y, w, h)
int l_normalize(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {5});
    const RegionArgs args = read_region_args(L);
    Frame frame;
    Region area;
    if (resolve_region(L, r, args, frame, area)) normalize_gamut(frame, area);
    return 0;
}

// binarize(buffer, x, y, w, h, threshold)
int l_binarize(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {6});
    const RegionArgs args = read_region_args(L);
    const int threshold = check_int(L, 6);
    Frame frame;
    Region area;
    if (resolve_region(L, r, args, frame, area)) binarize_luma(frame, area, threshold);
    return 0;
}
