// The fixed-point region colour members: color (YCbCr), color_rgb and
// color_hsv_i (per-pixel rules and their 64-bit arithmetic in
// region_color_pixel.h).
//
// color and color_rgb run vector code compiled for each instruction set and
// chosen at run time (Highway).  color works in 32-bit lanes, exact while
// 32768 * |k| + |O| fits 31 bits; color_rgb in double lanes, exact while
// its results stay well inside the int range.  Both conditions are checked
// per call (they hold for gains below 16 and any sensible offset); beyond
// them, and at the ends of rows, the per-pixel rules do the work.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "color/color_fixed.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <cstdlib>

#include "buffers/pixel_simd-inl.h"
#include "buffers/rows.h"
#include "color/region_color.h"
#include "color/region_color_pixel.h"

HWY_BEFORE_NAMESPACE();
namespace color_fixed_simd {
namespace HWY_NAMESPACE {

using namespace pixel_simd::HWY_NAMESPACE;  // and its alias hn

// Flat: each 16-bit value scaled by the constants of its component.
static void color_yc_row(PIXEL_YC* p, int n, const ColorFixed& f) {
    const IntTag di;
    const Int16Tag d16;
    const int lanes = static_cast<int>(hn::Lanes(di));
    hn::Vec<IntTag> k[3], o[3];
    component_pattern(di, static_cast<int>(f.k[0]), static_cast<int>(f.k[1]),
                      static_cast<int>(f.k[2]), k);
    component_pattern(di, static_cast<int>(f.o[0]), static_cast<int>(f.o[1]),
                      static_cast<int>(f.o[2]), o);
    std::int16_t* const v = values_of(p);
    flat_steps(
        n, lanes,
        [&](int c, int at) {
            const auto x = hn::PromoteTo(di, hn::LoadU(d16, v + at));
            hn::StoreU(saturate16(d16, hn::ShiftRight<12>(hn::Add(hn::Mul(x, k[c]), o[c]))), d16,
                       v + at);
        },
        [&](int i) { color_yc_pixel(p[i], f); });
}

static void color_rgb_row(PIXEL_YC* p, int n, const ColorFixed& f) {
    const RealTag df;
    const double k[3] = {double(f.k[0]), double(f.k[1]), double(f.k[2])};
    const double o[3] = {double(f.o[0]), double(f.o[1]), double(f.o[2])};
    const auto unit = hn::Set(df, 1.0 / 4096);
    // Truncated to whole numbers, then R * k + O: exact in doubles.
    const auto adjust = [&](RealVec v, int c) {
        const auto whole = hn::PromoteTo(df, trunc_int(df, v));
        return hn::Add(hn::Mul(whole, hn::Set(df, k[c])), hn::Set(df, o[c]));
    };
    rgb_steps(
        p, n,
        [&](RealVec r, RealVec g, RealVec b, RealIntVec& oy, RealIntVec& ocb, RealIntVec& ocr) {
            RealVec y, cb, cr;
            rgb_to_yc(df, adjust(r, 0), adjust(g, 1), adjust(b, 2), y, cb, cr);
            oy = trunc_int(df, hn::Mul(y, unit));
            ocb = trunc_int(df, hn::Mul(cb, unit));
            ocr = trunc_int(df, hn::Mul(cr, unit));
        },
        [&](int i) { color_rgb_pixel(p[i], f); });
}

}  // namespace HWY_NAMESPACE
}  // namespace color_fixed_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace color_fixed_simd {
HWY_EXPORT(color_yc_row);
HWY_EXPORT(color_rgb_row);
}  // namespace color_fixed_simd

namespace {

// The vector rows where their lanes are exact for f, else the per-pixel rule.
template <class Row, class Pixel>
void fixed_rows(const Frame& frame, const Region& region, const ColorFixed& f, bool exact, Row row,
                Pixel pixel) {
    if (exact)
        for_each_pixel_row(frame, region, row, f);
    else
        for_each_pixel(frame, region, [&f, pixel](PIXEL_YC& p) { pixel(p, f); });
}

}  // namespace

void color_yc(const Frame& frame, const Region& region, const ColorAdjust& adjust) {
    const ColorFixed f = color_fixed(adjust, 4096);
    bool fits = true;  // 32768 * |k| + |O| < 2^31 for every component
    for (int c = 0; c < 3; ++c)
        fits = fits && 32768 * std::llabs(f.k[c]) + std::llabs(f.o[c]) < (1LL << 31);
    fixed_rows(frame, region, f, fits, HWY_DYNAMIC_DISPATCH(color_fixed_simd::color_yc_row),
               color_yc_pixel);
}

void color_rgb(const Frame& frame, const Region& region, const ColorAdjust& adjust) {
    const ColorFixed f = color_fixed(adjust, 4096);
    // |R| < 2^17 and each conversion's weights sum to 1 in magnitude, so
    // every result lies within 32 * |k| + |O| / 4096 (plus rounding).
    bool fits = true;
    for (int c = 0; c < 3; ++c)
        fits = fits && 32.0 * std::llabs(f.k[c]) + std::llabs(f.o[c]) / 4096.0 < 1 << 30;
    fixed_rows(frame, region, f, fits, HWY_DYNAMIC_DISPATCH(color_fixed_simd::color_rgb_row),
               color_rgb_pixel);
}

void color_hsv_int(const Frame& frame, const Region& region, const ColorAdjust& adjust) {
    const ColorFixed f = color_fixed(adjust, 1);
    for_each_pixel(frame, region, [&f](PIXEL_YC& p) { color_hsv_int_pixel(p, f); });
}
#endif  // HWY_ONCE
