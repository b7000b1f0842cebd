// The blends behind alpha, alpha_yc and alpha_rgb: a source rectangle over a
// destination with a constant, per-component or per-pixel (mask) opacity.
//
// The row loops are vector code compiled for each instruction set and
// chosen at run time (Highway).  Blends are formed in 32-bit lanes, exact
// while |s * a + d * (4096 - a)| stays below 2^31: for every 16-bit s and d
// when the opacity lies within kMinOpacity..kMaxOpacity (checked per call),
// and for a mask when its grades in the step lie within -16384..16384
// (checked per step).  Outside those the per-pixel rules of blend.h, in 64
// bits, do the work, as they do at the ends of rows.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "draw/alpha.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "buffers/pixel_simd-inl.h"
#include "buffers/rows.h"
#include "draw/alpha.h"
#include "draw/blend.h"

HWY_BEFORE_NAMESPACE();
namespace alpha_simd {
namespace HWY_NAMESPACE {

using namespace pixel_simd::HWY_NAMESPACE;  // and its alias hn

// (s * a + d * (4096 - a)) >> 12 in 32-bit lanes.
template <class DI>
HWY_INLINE hn::Vec<DI> blend(DI di, hn::Vec<DI> s, hn::Vec<DI> d, hn::Vec<DI> a) {
    return hn::ShiftRight<12>(hn::Add(hn::Mul(s, a), hn::Mul(d, hn::Sub(hn::Set(di, 4096), a))));
}

// Key test s > key for a key of any int: below the 16-bit range every
// pixel passes, above it none does.
struct KeyTest {
    int key;
    template <class DI>
    HWY_INLINE hn::Mask<DI> operator()(DI di, hn::Vec<DI> v) const {
        return hn::Gt(v, hn::Set(di, key < -32769 ? -32769 : (key > 32767 ? 32767 : key)));
    }
};

// Flat blend of a whole step of pixels with one opacity for every value:
// the low 16 bits, or (for opacities within 0..4096, where a blend never
// leaves the range of its operands) the plain narrowing.
HWY_INLINE void blend_flat(const PIXEL_YC* s, PIXEL_YC* d, hn::Vec<IntTag> a, bool convex) {
    const IntTag di;
    const Int16Tag d16;
    const int lanes = static_cast<int>(hn::Lanes(di));
    const std::int16_t* sv = values_of(s);
    std::int16_t* dv = values_of(d);
    for (int c = 0; c < 3; ++c) {
        const auto v = blend(di, hn::PromoteTo(di, hn::LoadU(d16, sv + c * lanes)),
                             hn::PromoteTo(di, hn::LoadU(d16, dv + c * lanes)), a);
        hn::StoreU(convex ? hn::DemoteTo(d16, v) : low16(d16, v), d16, dv + c * lanes);
    }
}

// A row of alpha_constant (keyed on the source) or alpha_masked_keyed
// (keyed on the mask, when `mask` is not null).  Where the key lets every
// pixel of a step through (a key below the 16-bit range, or no keyed value
// at the key's lower end -32768), the step is blended flat.
static void blend_row_keyed(const PIXEL_YC* s, PIXEL_YC* d, const PIXEL_YC* mask, int n, int a,
                            int key) {
    const IntTag di;
    const Int16Tag d16;
    const KeyTest pass{key};
    const auto va = hn::Set(di, a);
    const bool convex = a >= 0 && a <= 4096;
    const int lanes = static_cast<int>(hn::Lanes(di));
    const bool all_pass = key < -32768;
    const bool bottom_key = key == -32768;
    const PIXEL_YC* keyed = mask != nullptr ? mask : s;
    row_steps(
        n, lanes,
        [&](int i) {
            if (all_pass) return blend_flat(s + i, d + i, va, convex);
            if (bottom_key) {
                // Any value at -32768 among the step's values (y or not)
                // sends the step the keyed way; otherwise all pass.
                const std::int16_t* kv = values_of(keyed + i);
                const auto bottom = hn::Set(d16, static_cast<std::int16_t>(-32768));
                bool any = false;
                for (int c = 0; c < 3; ++c)
                    any = any || !hn::AllFalse(d16, hn::Eq(hn::LoadU(d16, kv + c * lanes), bottom));
                if (!any) return blend_flat(s + i, d + i, va, convex);
            }
            hn::Vec<Int16Tag> sy, scb, scr, dy, dcb, dcr;
            load_pixels(d16, s + i, sy, scb, scr);
            load_pixels(d16, d + i, dy, dcb, dcr);
            hn::Mask<IntTag> on;
            if (mask != nullptr) {
                hn::Vec<Int16Tag> my, mcb, mcr;
                load_pixels(d16, mask + i, my, mcb, mcr);
                on = pass(di, hn::PromoteTo(di, my));
            } else {
                on = pass(di, hn::PromoteTo(di, sy));
            }
            if (hn::AllFalse(di, on)) return;
            const auto mix = [&](hn::Vec<Int16Tag> sv, hn::Vec<Int16Tag> dv) {
                const auto dw = hn::PromoteTo(di, dv);
                return low16(d16, hn::IfThenElse(on, blend(di, hn::PromoteTo(di, sv), dw, va), dw));
            };
            store_pixels(d16, mix(sy, dy), mix(scb, dcb), mix(scr, dcr), d + i);
        },
        [&](int i) {
            if (keyed[i].y > key) blend_pixel(s[i], d[i], a);
        });
}

static void blend_row_masked(const PIXEL_YC* s, PIXEL_YC* d, const PIXEL_YC* mask, int n) {
    const IntTag di;
    const Int16Tag d16;
    const int step = static_cast<int>(hn::Lanes(di));
    row_steps(
        n, step,
        [&](int i) {
            hn::Vec<Int16Tag> sy, scb, scr, dy, dcb, dcr, my, mcb, mcr;
            load_pixels(d16, mask + i, my, mcb, mcr);
            const auto a = hn::PromoteTo(di, my);
            if (!hn::AllFalse(di, hn::Gt(hn::Abs(a), hn::Set(di, 16384)))) {
                for (int k = i; k < i + step; ++k) blend_pixel(s[k], d[k], mask[k].y);
                return;
            }
            load_pixels(d16, s + i, sy, scb, scr);
            load_pixels(d16, d + i, dy, dcb, dcr);
            const auto mix = [&](hn::Vec<Int16Tag> sv, hn::Vec<Int16Tag> dv) {
                return low16(d16, blend(di, hn::PromoteTo(di, sv), hn::PromoteTo(di, dv), a));
            };
            store_pixels(d16, mix(sy, dy), mix(scb, dcb), mix(scr, dcr), d + i);
        },
        [&](int i) { blend_pixel(s[i], d[i], mask[i].y); });
}

// Flat, one opacity per component, saturated.
static void blend_row_yc(const PIXEL_YC* s, PIXEL_YC* d, int n, int ay, int acb, int acr) {
    const IntTag di;
    const Int16Tag d16;
    const int lanes = static_cast<int>(hn::Lanes(di));
    hn::Vec<IntTag> a[3];
    component_pattern(di, ay, acb, acr, a);
    const std::int16_t* const sv = values_of(s);
    std::int16_t* const dv = values_of(d);
    flat_steps(
        n, lanes,
        [&](int c, int at) {
            const auto v = blend(di, hn::PromoteTo(di, hn::LoadU(d16, sv + at)),
                                 hn::PromoteTo(di, hn::LoadU(d16, dv + at)), a[c]);
            hn::StoreU(saturate16(d16, v), d16, dv + at);
        },
        [&](int i) { blend_pixel_saturated(s[i], d[i], ay, acb, acr); });
}

static void blend_row_rgb(const PIXEL_YC* s, PIXEL_YC* d, int n, int ar, int ag, int ab) {
    const RealTag df;
    const RealIntTag di;
    const auto va = hn::Set(di, ar), vg = hn::Set(di, ag), vb = hn::Set(di, ab);
    const auto lo = hn::Set(di, -32768), hi = hn::Set(di, 32767);
    row_steps(
        n, real_step(),
        [&](int i) {
            RealPlanes sp, dp;
            load_real(s + i, sp);
            load_real(d + i, dp);
            IntParts oy, ocb, ocr;
            for (int h = 0; h < kRealParts; ++h) {
                hn::Vec<RealTag> sr, sg, sb, dr, dg, db;
                yc_to_rgb(df, sp.y[h], sp.cb[h], sp.cr[h], sr, sg, sb);
                yc_to_rgb(df, dp.y[h], dp.cb[h], dp.cr[h], dr, dg, db);
                // Channels within +-2^17 and the opacity range checked per
                // call: the 32-bit blend is exact.
                const auto mix = [&](hn::Vec<RealTag> sv, hn::Vec<RealTag> dv,
                                     hn::Vec<RealIntTag> a) {
                    const auto v = blend(di, trunc_int(df, sv), trunc_int(df, dv), a);
                    return hn::PromoteTo(df, hn::Min(hn::Max(v, lo), hi));
                };
                hn::Vec<RealTag> y, cb, cr;
                rgb_to_yc(df, mix(sr, dr, va), mix(sg, dg, vg), mix(sb, db, vb), y, cb, cr);
                // Saturated channels keep every result well inside the int range.
                oy[h] = trunc_int(df, y), ocb[h] = trunc_int(df, cb), ocr[h] = trunc_int(df, cr);
            }
            store_wrapped(oy, ocb, ocr, d + i);
        },
        [&](int i) { blend_pixel_rgb(s[i], d[i], ar, ag, ab); });
}

}  // namespace HWY_NAMESPACE
}  // namespace alpha_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace alpha_simd {

// |a| + |4096 - a| <= 65535, so 32768 * that stays below 2^31.
constexpr int kMinOpacity = -30719;
constexpr int kMaxOpacity = 34815;

// For alpha_rgb, whose channels reach about +-2^17: |a| + |4096 - a| < 2^14.
constexpr int kMinRgbOpacity = -6143;
constexpr int kMaxRgbOpacity = 10239;

HWY_EXPORT(blend_row_keyed);
HWY_EXPORT(blend_row_masked);
HWY_EXPORT(blend_row_yc);
HWY_EXPORT(blend_row_rgb);

namespace {

bool exact_opacity(int a) { return a >= kMinOpacity && a <= kMaxOpacity; }

}  // namespace
}  // namespace alpha_simd

int opacity12(double opacity) { return trunc_to_int(opacity * 4096); }

using namespace alpha_simd;

void alpha_constant(const Frame& src, const Frame& dst, const PairArea& area, int a, int key) {
    if (!exact_opacity(a)) {
        for_each_pair(src, dst, area, [a, key](const PIXEL_YC& s, PIXEL_YC& d) {
            if (s.y > key) blend_pixel(s, d, a);
        });
        return;
    }
    const auto row = HWY_DYNAMIC_DISPATCH(blend_row_keyed);
    for_each_pair_row(src, dst, area, [=](const PIXEL_YC* s, PIXEL_YC* d, int n) {
        row(s, d, nullptr, n, a, key);
    });
}

void alpha_masked(const Frame& src, const Frame& dst, const Frame& mask, const MaskedArea& area) {
    for_each_masked_row(src, dst, mask, area, HWY_DYNAMIC_DISPATCH(blend_row_masked));
}

void alpha_masked_keyed(const Frame& src, const Frame& dst, const Frame& mask,
                        const MaskedArea& area, int a, int key) {
    if (!exact_opacity(a)) {
        for_each_masked(src, dst, mask, area,
                        [a, key](const PIXEL_YC& s, PIXEL_YC& d, const PIXEL_YC& m) {
                            if (m.y > key) blend_pixel(s, d, a);
                        });
        return;
    }
    for_each_masked_row(src, dst, mask, area, HWY_DYNAMIC_DISPATCH(blend_row_keyed), a, key);
}

void alpha_yc(const Frame& src, const Frame& dst, const PairArea& area, int ay, int acb, int acr) {
    if (!exact_opacity(ay) || !exact_opacity(acb) || !exact_opacity(acr)) {
        for_each_pair(src, dst, area, [=](const PIXEL_YC& s, PIXEL_YC& d) {
            blend_pixel_saturated(s, d, ay, acb, acr);
        });
        return;
    }
    for_each_pair_row(src, dst, area, HWY_DYNAMIC_DISPATCH(blend_row_yc), ay, acb, acr);
}

void alpha_rgb(const Frame& src, const Frame& dst, const PairArea& area, int ar, int ag, int ab) {
    const auto in_range = [](int a) { return a >= kMinRgbOpacity && a <= kMaxRgbOpacity; };
    if (!in_range(ar) || !in_range(ag) || !in_range(ab)) {
        for_each_pair(src, dst, area,
                      [=](const PIXEL_YC& s, PIXEL_YC& d) { blend_pixel_rgb(s, d, ar, ag, ab); });
        return;
    }
    for_each_pair_row(src, dst, area, HWY_DYNAMIC_DISPATCH(blend_row_rgb), ar, ag, ab);
}
#endif  // HWY_ONCE
