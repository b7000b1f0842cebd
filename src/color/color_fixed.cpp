// The fixed-point region colour members: color (YCbCr), color_rgb and
// color_hsv_i (per-pixel rules and their 64-bit arithmetic in
// region_color_pixel.h).
//
// color, color_rgb and color_hsv_i run vector code compiled for each instruction set and
// chosen at run time (Highway).  color works in 32-bit lanes, exact while
// 32768 * |k| + |O| fits 31 bits; color_rgb in double lanes, exact while
// its results stay well inside the int range.  Both conditions are checked
// per call (they hold for gains below 16 and any sensible offset); beyond
// them, and at the ends of rows, the per-pixel rules do the work.
// color_hsv_i is exact in integer lanes for gains below 64 and offsets
// below 2^22 (see color_hsv_int_row).
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

// Integer division of a by b (0 <= a <= 2^24, 1 <= b <= 4096, quotient at
// most 4096) as a float division truncated: a and b are exact floats, and a
// quotient that is not whole lies at least 1 / b >= 2^-12 from the next
// whole number, more than its rounding error (half an ulp below 4096,
// at most 2^-13), so the truncation is the integer quotient.
template <class DI>
HWY_INLINE hn::Vec<DI> small_quotient(DI di, hn::Vec<DI> a, hn::Vec<DI> b) {
    const hn::Rebind<float, DI> df;
    return hn::ConvertTo(di, hn::Div(hn::ConvertTo(df, a), hn::ConvertTo(df, b)));
}

// x / 4096 truncated toward zero, as C++ integer division does it.
template <class DI>
HWY_INLINE hn::Vec<DI> div4096(DI di, hn::Vec<DI> x) {
    return hn::ShiftRight<12>(hn::Add(x, hn::And(hn::ShiftRight<31>(x), hn::Set(di, 4095))));
}

// color_hsv_i, exact: R, G, B truncated from double lanes as yc_to_rgb and
// trunc_to_int give them, the integer HSV of convert.h in 32-bit lanes (its
// divisions by small_quotient, every numerator below 2^24 and every product
// within 32 bits for the gains and offsets color_hsv_int lets through), the
// result through rgb_to_yc in double lanes.
static void color_hsv_int_row(PIXEL_YC* p, int n, const ColorFixed& f) {
    const RealTag df;
    const RealIntTag di;
    const hn::Rebind<float, RealIntTag> dfl;
    const auto i = [&](int v) { return hn::Set(di, v); };
    const auto zero = hn::Zero(di), top = i(4096);
    const auto cube = [&](RealVec c) { return hn::Min(hn::Max(trunc_int(df, c), zero), top); };
    const auto adjusted = [&](hn::Vec<RealIntTag> c, int k) {
        return hn::Add(div4096(di, hn::Mul(c, i(static_cast<int>(f.k[k])))),
                       i(static_cast<int>(f.o[k])));
    };
    rgb_steps(
        p, n,
        [&](RealVec fr, RealVec fg, RealVec fb, RealIntVec& oy, RealIntVec& ocb, RealIntVec& ocr) {
            const auto r = cube(fr), g = cube(fg), b = cube(fb);
            const auto max = hn::Max(r, hn::Max(g, b));
            const auto d = hn::Sub(max, hn::Min(r, hn::Min(g, b)));
            const auto flat = hn::Eq(d, zero);  // max = 0 is flat too
            const auto safe_d = hn::Max(d, i(1));
            const auto s = small_quotient(di, hn::ShiftLeft<12>(d), hn::Max(max, i(1)));
            const auto rp = small_quotient(di, hn::ShiftLeft<12>(hn::Sub(max, r)), safe_d);
            const auto gp = small_quotient(di, hn::ShiftLeft<12>(hn::Sub(max, g)), safe_d);
            const auto bp = small_quotient(di, hn::ShiftLeft<12>(hn::Sub(max, b)), safe_d);
            const auto raw = hn::IfThenElse(
                hn::Eq(r, max), hn::Sub(bp, gp),
                hn::IfThenElse(hn::Eq(g, max), hn::Add(hn::Sub(rp, bp), i(8192)),
                               hn::Add(hn::Sub(gp, rp), i(16384))));
            auto h = div4096(di, hn::Mul(raw, i(600)));
            h = hn::IfThenElse(hn::Lt(h, zero), hn::Add(h, i(3600)), h);
            h = hn::IfThenZeroElse(flat, h);
            // H' folded into 0..3599: |H'| < 2^23, exact as a float, and
            // H' / 3600 misses a whole number by at least 1/3600 when it is
            // not one, far more than its rounding.
            auto hh = adjusted(h, 0);
            hh = hn::Sub(hh, hn::Mul(hn::ConvertTo(di, hn::Floor(hn::Div(
                                         hn::ConvertTo(dfl, hh), hn::Set(dfl, 3600.0f)))),
                                     i(3600)));
            hh = hn::IfThenElse(hn::Lt(hh, zero), hn::Add(hh, i(3600)), hh);
            hh = hn::IfThenElse(hn::Gt(hh, i(3599)), hn::Sub(hh, i(3600)), hh);
            const auto ss = hn::Min(hn::Max(adjusted(hn::IfThenZeroElse(flat, s), 1), zero), top);
            const auto vv = hn::Min(hn::Max(adjusted(max, 2), zero), top);
            // hsv_to_rgb_int on H in 0..3599.
            const auto at = [&](int v) { return hn::Gt(hh, i(v - 1)); };
            const auto m1 = at(600), m2 = at(1200), m3 = at(1800), m4 = at(2400), m5 = at(3000);
            auto sector = zero;
            for (const auto& m : {m1, m2, m3, m4, m5}) sector = hn::Sub(sector, hn::VecFromMask(di, m));
            const auto fpart = hn::Sub(hh, hn::Mul(sector, i(600)));
            const auto pp = hn::ShiftRight<12>(hn::Mul(hn::Sub(top, ss), vv));
            const auto qq = hn::ShiftRight<12>(hn::Mul(
                hn::Sub(top, small_quotient(di, hn::Mul(fpart, ss), i(600))), vv));
            const auto tt = hn::ShiftRight<12>(hn::Mul(
                hn::Sub(top, small_quotient(di, hn::Mul(hn::Sub(i(600), fpart), ss), i(600))), vv));
            // entry = (v, q, p, p, t, v): R entry[sector], G entry[sector + 4],
            // B entry[sector + 2] (mod 6).
            auto ro = hn::IfThenElse(
                m5, vv, hn::IfThenElse(m4, tt, hn::IfThenElse(m2, pp, hn::IfThenElse(m1, qq, vv))));
            auto go = hn::IfThenElse(m4, pp, hn::IfThenElse(m3, qq, hn::IfThenElse(m1, vv, tt)));
            auto bo = hn::IfThenElse(m5, qq, hn::IfThenElse(m3, vv, hn::IfThenElse(m2, tt, pp)));
            const auto grey = hn::Eq(ss, zero);
            ro = hn::IfThenElse(grey, vv, ro);
            go = hn::IfThenElse(grey, vv, go);
            bo = hn::IfThenElse(grey, vv, bo);
            RealVec y, cb, cr;
            rgb_to_yc(df, hn::PromoteTo(df, ro), hn::PromoteTo(df, go), hn::PromoteTo(df, bo), y, cb,
                      cr);
            oy = trunc_int(df, y), ocb = trunc_int(df, cb), ocr = trunc_int(df, cr);
        },
        [&](int k) { color_hsv_int_pixel(p[k], f); });
}

}  // namespace HWY_NAMESPACE
}  // namespace color_fixed_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace color_fixed_simd {
HWY_EXPORT(color_yc_row);
HWY_EXPORT(color_rgb_row);
HWY_EXPORT(color_hsv_int_row);
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
    // |k| below 2^18 keeps H k, S k and V k within 32 bits; offsets below
    // 2^22 keep H' a float-exact whole number and S', V' within 32 bits.
    bool fits = true;
    for (int c = 0; c < 3; ++c)
        fits = fits && std::llabs(f.k[c]) < (1LL << 18) && std::llabs(f.o[c]) < (1LL << 22);
    fixed_rows(frame, region, f, fits, HWY_DYNAMIC_DISPATCH(color_fixed_simd::color_hsv_int_row),
               color_hsv_int_pixel);
}
#endif  // HWY_ONCE
