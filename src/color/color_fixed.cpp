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
#include "color/hsv_float_simd-inl.h"
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

// The integer HSV of convert.h with color_hsv_i's gains and offsets, in
// lanes of DI, on R, G, B already truncated and clamped to 0..4096: R', G',
// B' of hsv_to_rgb_int.  Its divisions are small_quotient (every numerator
// below 2^24), every product within 32 bits for the gains and offsets
// color_hsv_int lets through.
template <class DI>
HWY_INLINE void hsv_int_adjusted(DI di, hn::Vec<DI> r, hn::Vec<DI> g, hn::Vec<DI> b,
                                 const ColorFixed& f, hn::Vec<DI>& ro, hn::Vec<DI>& go,
                                 hn::Vec<DI>& bo) {
    const hn::Rebind<float, DI> dfl;
    const auto i = [&](int v) { return hn::Set(di, v); };
    const auto zero = hn::Zero(di), top = i(4096);
    const auto adjusted = [&](hn::Vec<DI> c, int k) {
        return hn::Add(div4096(di, hn::Mul(c, i(static_cast<int>(f.k[k])))),
                       i(static_cast<int>(f.o[k])));
    };
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
    // H' folded into 0..3599: |H'| < 2^23, exact as a float, and H' / 3600
    // misses a whole number by at least 1/3600 when it is not one, far more
    // than its rounding.
    auto hh = adjusted(h, 0);
    hh = hn::Sub(hh, hn::Mul(hn::ConvertTo(di, hn::Floor(hn::Div(hn::ConvertTo(dfl, hh),
                                                                 hn::Set(dfl, 3600.0f)))),
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
    const auto qq = hn::ShiftRight<12>(
        hn::Mul(hn::Sub(top, small_quotient(di, hn::Mul(fpart, ss), i(600))), vv));
    const auto tt = hn::ShiftRight<12>(
        hn::Mul(hn::Sub(top, small_quotient(di, hn::Mul(hn::Sub(i(600), fpart), ss), i(600))), vv));
    // entry = (v, q, p, p, t, v): R entry[sector], G entry[sector + 4],
    // B entry[sector + 2] (mod 6).
    ro = hn::IfThenElse(m5, vv,
                        hn::IfThenElse(m4, tt, hn::IfThenElse(m2, pp, hn::IfThenElse(m1, qq, vv))));
    go = hn::IfThenElse(m4, pp, hn::IfThenElse(m3, qq, hn::IfThenElse(m1, vv, tt)));
    bo = hn::IfThenElse(m5, qq, hn::IfThenElse(m3, vv, hn::IfThenElse(m2, tt, pp)));
    const auto grey = hn::Eq(ss, zero);
    ro = hn::IfThenElse(grey, vv, ro);
    go = hn::IfThenElse(grey, vv, go);
    bo = hn::IfThenElse(grey, vv, bo);
}

// color_hsv_i in double lanes, exact lane by lane: R, G, B truncated from
// double lanes as yc_to_rgb and trunc_to_int give them, hsv_int_adjusted,
// the result through rgb_to_yc in double lanes.  The redo kernel of
// color_hsv_int_guarded_row.
static void color_hsv_int_row(PIXEL_YC* p, int n, const ColorFixed& f) {
    const RealTag df;
    const RealIntTag di;
    const auto zero = hn::Zero(di), top = hn::Set(di, 4096);
    const auto cube = [&](RealVec c) { return hn::Min(hn::Max(trunc_int(df, c), zero), top); };
    rgb_steps(
        p, n,
        [&](RealVec fr, RealVec fg, RealVec fb, RealIntVec& oy, RealIntVec& ocb, RealIntVec& ocr) {
            RealIntVec ro, go, bo;
            hsv_int_adjusted(di, cube(fr), cube(fg), cube(fb), f, ro, go, bo);
            RealVec y, cb, cr;
            rgb_to_yc(df, hn::PromoteTo(df, ro), hn::PromoteTo(df, go), hn::PromoteTo(df, bo), y, cb,
                      cr);
            oy = trunc_int(df, y), ocb = trunc_int(df, cb), ocr = trunc_int(df, cr);
        },
        [&](int k) { color_hsv_int_pixel(p[k], f); });
}

// trunc(c / 1000) of 0 <= c <= 4096000 as c * 0.001f truncated: 0.001f
// lies above 1/1000 (by a relative 4.8e-8), so a whole quotient W comes out
// at least W (rounding to nearest cannot pass the float W), and any other,
// at most W + 0.999, within 0.999 + 2.4e-4 (the excess and one rounding at
// most 4097), below W + 1.
template <class DI>
HWY_INLINE hn::Vec<DI> thousandths_whole(DI di, hn::Vec<DI> c) {
    const hn::Rebind<float, DI> df;
    return hn::ConvertTo(di, hn::Mul(hn::ConvertTo(df, c), hn::Set(df, 0.001f)));
}

// color_hsv_i in 32-bit lanes: R, G, B as whole numbers of thousandths,
//   1000 R = 1000 Y + 1402 Cr, 1000 G = 1000 Y - 344 Cb - 714 Cr,
//   1000 B = 1000 Y + 1772 Cb
// (no overflow for any 16-bit input), then truncated and clamped to
// 0..4096 exactly, hsv_int_adjusted, and rgb_to_yc in double lanes.
// yc_to_rgb in doubles comes within 1e-10 of these exact values, and a
// value that is not whole lies at least 1/1000 from every whole number, so
// the double's truncation agrees with the exact one, and so does the clamp
// (below 0 and above 4096 both give the ends).  A whole value W in 1..4096
// is where the double can fall an ulp below and truncate to W - 1:
//   B: whole only for Cb a multiple of 250, where Cb * 1.772 is exactly
//      443 Cb / 250 for every 16-bit Cb (checked by the tests), so B is
//      exact;
//   R and G: held back to the double kernel (not needed for a grey, Cb =
//      Cr = 0, whose products are 0 and whose channels are Y exactly).
static void color_hsv_int_guarded_row(PIXEL_YC* p, int n, const ColorFixed& f) {
    const IntTag di;
    const Int16Tag d16;
    const FloatTag df;
    const auto i = [&](int v) { return hn::Set(di, v); };
    guarded_steps(
        p, n,
        [&](int at) {
            hn::Vec<Int16Tag> y16, cb16, cr16;
            load_pixels(d16, p + at, y16, cb16, cr16);
            const auto y = hn::PromoteTo(di, y16), cb = hn::PromoteTo(di, cb16),
                       cr = hn::PromoteTo(di, cr16);
            const auto y1000 = hn::Mul(y, i(1000));
            const auto nr = hn::Add(y1000, hn::Mul(cr, i(1402)));
            const auto ng = hn::Sub(hn::Sub(y1000, hn::Mul(cb, i(344))), hn::Mul(cr, i(714)));
            const auto nb = hn::Add(y1000, hn::Mul(cb, i(1772)));
            const auto zero = hn::Zero(di), top = i(4096000);
            const auto whole = [&](hn::Vec<IntTag> c) {
                return thousandths_whole(di, hn::Min(hn::Max(c, zero), top));
            };
            const auto r = whole(nr), g = whole(ng), b = whole(nb);
            // A whole R or G in 1..4096 (1000 times the quotient is the value
            // itself only within the clamp).
            const auto on_whole = [&](hn::Vec<IntTag> w, hn::Vec<IntTag> c) {
                return hn::And(hn::Eq(hn::Mul(w, i(1000)), c), hn::Gt(w, zero));
            };
            const auto grey = hn::And(hn::Eq(cb, zero), hn::Eq(cr, zero));
            const auto doubt = hn::AndNot(grey, hn::Or(on_whole(r, nr), on_whole(g, ng)));
            hn::Vec<IntTag> ro, go, bo;
            hsv_int_adjusted(di, r, g, b, f, ro, go, bo);
            GuardedResult res;
            res.risky = hn::RebindMask(df, doubt);
            const RealTag dr;
#if HWY_TARGET == HWY_SCALAR
            RealVec yy, ycb, ycr;
            rgb_to_yc(dr, hn::PromoteTo(dr, ro), hn::PromoteTo(dr, go), hn::PromoteTo(dr, bo), yy,
                      ycb, ycr);
            res.y = trunc_int(dr, yy), res.cb = trunc_int(dr, ycb), res.cr = trunc_int(dr, ycr);
#else
            const hn::Half<IntTag> dh;
            IntParts oy, ocb, ocr;
            for (int h = 0; h < 2; ++h) {
                const auto half = [&](hn::Vec<IntTag> v) {
                    return hn::PromoteTo(dr, h == 0 ? hn::LowerHalf(dh, v) : hn::UpperHalf(dh, v));
                };
                RealVec yy, ycb, ycr;
                rgb_to_yc(dr, half(ro), half(go), half(bo), yy, ycb, ycr);
                oy[h] = trunc_int(dr, yy), ocb[h] = trunc_int(dr, ycb), ocr[h] = trunc_int(dr, ycr);
            }
            res.y = hn::Combine(di, oy[1], oy[0]);
            res.cb = hn::Combine(di, ocb[1], ocb[0]);
            res.cr = hn::Combine(di, ocr[1], ocr[0]);
#endif
            return res;
        },
        [&](PIXEL_YC* q, int count) { color_hsv_int_row(q, count, f); });
}

}  // namespace HWY_NAMESPACE
}  // namespace color_fixed_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace color_fixed_simd {
HWY_EXPORT(color_yc_row);
HWY_EXPORT(color_rgb_row);
HWY_EXPORT(color_hsv_int_guarded_row);
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
    fixed_rows(frame, region, f, fits,
               HWY_DYNAMIC_DISPATCH(color_fixed_simd::color_hsv_int_guarded_row),
               color_hsv_int_pixel);
}
#endif  // HWY_ONCE
