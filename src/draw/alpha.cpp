// alpha, alpha_yc, alpha_rgb: blending a source rectangle over a destination
// with a constant, per-component or per-pixel (mask) opacity.
#include "draw/alpha.h"

#include "buffers/numeric.h"
#include "color/convert.h"
#include "buffers/rows.h"
#include "draw/blend.h"
#include "script/area_args.h"
#include "script/binding.h"

int opacity12(double opacity) { return trunc_to_int(opacity * 4096); }

namespace {

inline void blend_pixel(const PIXEL_YC& s, PIXEL_YC& d, int a) {
    d.y = blend12_low16(s.y, d.y, a);
    d.cb = blend12_low16(s.cb, d.cb, a);
    d.cr = blend12_low16(s.cr, d.cr, a);
}

}  // namespace

void alpha_constant(const Frame& src, const Frame& dst, const PairArea& area, int a, int key) {
    for_each_pair(src, dst, area, [a, key](const PIXEL_YC& s, PIXEL_YC& d) {
        if (s.y > key) blend_pixel(s, d, a);
    });
}

void alpha_masked(const Frame& src, const Frame& dst, const Frame& mask, const MaskedArea& area) {
    for_each_masked(src, dst, mask, area,
                [](const PIXEL_YC& s, PIXEL_YC& d, const PIXEL_YC& m) { blend_pixel(s, d, m.y); });
}

void alpha_masked_keyed(const Frame& src, const Frame& dst, const Frame& mask,
                        const MaskedArea& area, int a, int key) {
    for_each_masked(src, dst, mask, area, [a, key](const PIXEL_YC& s, PIXEL_YC& d, const PIXEL_YC& m) {
        if (m.y > key) blend_pixel(s, d, a);
    });
}

void alpha_yc(const Frame& src, const Frame& dst, const PairArea& area, int ay, int acb,
              int acr) {
    for_each_pair(src, dst, area, [=](const PIXEL_YC& s, PIXEL_YC& d) {
        d.y = static_cast<std::int16_t>(clamp16(blend12(s.y, d.y, ay)));
        d.cb = static_cast<std::int16_t>(clamp16(blend12(s.cb, d.cb, acb)));
        d.cr = static_cast<std::int16_t>(clamp16(blend12(s.cr, d.cr, acr)));
    });
}

void alpha_rgb(const Frame& src, const Frame& dst, const PairArea& area, int ar, int ag, int ab) {
    for_each_pair(src, dst, area, [=](const PIXEL_YC& s, PIXEL_YC& d) {
        const Triple sf = yc_to_rgb(s.y, s.cb, s.cr);
        const Triple df = yc_to_rgb(d.y, d.cb, d.cr);
        const double r =
            static_cast<double>(clamp16(blend12(trunc_to_int(sf.a), trunc_to_int(df.a), ar)));
        const double g =
            static_cast<double>(clamp16(blend12(trunc_to_int(sf.b), trunc_to_int(df.b), ag)));
        const double b =
            static_cast<double>(clamp16(blend12(trunc_to_int(sf.c), trunc_to_int(df.c), ab)));
        const Triple yc = rgb_to_yc(r, g, b);
        d.y = to_component(yc.a);
        d.cb = to_component(yc.b);
        d.cr = to_component(yc.c);
    });
}

// alpha(src, dst, x1, y1, w, h, x2, y2, opacity [, key])
// alpha(src, dst, mask, x1, y1, w, h, x2, y2, x3, y3 [, opacity, key])
int l_alpha(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    const int n = check_arg_count(L, {9, 10, 11, 13});
    if (n >= 11) {
        const TripleArgs args = read_triple_args(L);
        const int a = n == 13 ? opacity12(luaL_checknumber(L, 12)) : 0;
        const int key = n == 13 ? check_int(L, 13) : 0;
        Frame src, dst, mask;
        TripleArea area;
        if (!resolve_triple(L, r, args, src, dst, mask, area)) return 0;
        if (n == 13)
            alpha_masked_keyed(src, dst, mask, masked_area(area), a, key);
        else
            alpha_masked(src, dst, mask, masked_area(area));
        return 0;
    }
    const PairArgs args = read_pair_args(L);
    const int a = opacity12(luaL_checknumber(L, 9));
    const int key = n == 10 ? check_int(L, 10) : -32768;
    Frame src, dst;
    PairArea area;
    if (resolve_pair(L, r, args, src, dst, area)) alpha_constant(src, dst, area, a, key);
    return 0;
}

// alpha_yc / alpha_rgb(src, dst, x1, y1, w, h, x2, y2, o1, o2, o3)
template <void (*Kernel)(const Frame&, const Frame&, const PairArea&, int, int, int)>
int three_opacity_binding(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {11});
    const PairArgs args = read_pair_args(L);
    int a[3];
    for (int k = 0; k < 3; ++k) a[k] = opacity12(luaL_checknumber(L, 9 + k));
    Frame src, dst;
    PairArea area;
    if (resolve_pair(L, r, args, src, dst, area)) Kernel(src, dst, area, a[0], a[1], a[2]);
    return 0;
}

int l_alpha_yc(lua_State* L) { return three_opacity_binding<alpha_yc>(L); }
int l_alpha_rgb(lua_State* L) { return three_opacity_binding<alpha_rgb>(L); }
