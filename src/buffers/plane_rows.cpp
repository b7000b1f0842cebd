// The work plane's row conversions, compiled once per instruction set and
// chosen at run time (Highway): whole vectors of pixels through the pixel
// formulas lane by lane, in their operation order, and the pixels left at
// the end through the formulas themselves.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "buffers/plane_rows.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "buffers/numeric.h"
#include "buffers/pixel_format.h"
#include "buffers/pixel_simd-inl.h"
#include "buffers/plane_rows.h"
#include "toolkit/median_rows.h"
#include "toolkit/number_simd-inl.h"

HWY_BEFORE_NAMESPACE();
namespace plane_rows_simd {
namespace HWY_NAMESPACE {

using namespace pixel_simd::HWY_NAMESPACE;  // and its alias hn

using FloatTag = hn::Rebind<float, RealTag>;
using number_simd::HWY_NAMESPACE::to_float;

// Three shorts per pixel (Y, Cb, Cr or R, G, B) through a conversion:
// Convert on the doubles of each part of a step, One (pixel_format.h) on
// the pixels left; results truncated toward zero, low 16 bits kept.  From
// 16-bit values with coefficients below 3 they stay far inside the 32-bit
// range.
template <class Convert, class One>
HWY_INLINE void convert_shorts(const PIXEL_YC* in, PIXEL_YC* out, int n, const Convert& convert,
                               const One& one) {
    const RealTag df;
    real_steps([&](int i, RealPlanes& px) { load_real(in + i, px); }, out, n,
               [&](RealVec a, RealVec b, RealVec c, RealIntVec& x, RealIntVec& y, RealIntVec& z) {
                   RealVec fx, fy, fz;
                   convert(df, a, b, c, fx, fy, fz);
                   x = trunc_int(df, fx), y = trunc_int(df, fy), z = trunc_int(df, fz);
               },
               [&](int i) {
                   const Triple t = one(in[i].y, in[i].cb, in[i].cr);
                   out[i] = {to_component(t.a), to_component(t.b), to_component(t.c)};
               });
}

// The short conversions in single-precision lanes, exactly.
//
// Every component of yc_to_rgb and rgb_to_yc is a linear form whose
// constants are decimals, so on integer inputs its exact value is an
// integer numerator over a fixed denominator:
//   r  = (500 y + 701 cr) / 500         y  = (587 g + 299 r + 114 b) / 1000
//   g  = (500 y - 172 cb - 357 cr) / 500  cb = (500 b - 169 r - 331 g) / 1000
//   b  = (250 y + 443 cb) / 250         cr = (500 r - 419 g - 81 b) / 1000
// The double formula is within 1e-10 of that value for 16-bit inputs (a few
// roundings of 2^-53 relative on terms below 2^16), and a quotient that is
// not an integer lies at least 1 / denominator >= 0.001 from every integer,
// so both truncate alike.  When the quotient is an integer the double
// formula may fall just short of it and truncate one lower: such lanes take
// the double formula, except where it is known to be exact (below).
//
// Within the ranges tested first, the numerators are integers below 2^24,
// so the float products and sums that make them are exact; the quotients
// are below 2^14, where float division rounds to within 2^-11 of the
// quotient: a quotient that is not an integer never reaches one, and an
// integer quotient comes out exact.  The truncated float quotient is thus
// exactly the truncated exact value.

using FastTag = hn::Rebind<float, IntTag>;
using FastVec = hn::Vec<FastTag>;
using FastMask = hn::Mask<FastTag>;
using ShortVec = hn::Vec<Int16Tag>;

// True when every lane of each v lies in [-half, half) (half a power of
// two): v + half, wrapped to 16 bits, then has no bit at or above 2 half.
HWY_INLINE bool within(ShortVec a, ShortVec b, ShortVec c, short half_ab, short half_c) {
    const Int16Tag d16;
    const auto ab = hn::Or(hn::Add(a, hn::Set(d16, half_ab)), hn::Add(b, hn::Set(d16, half_ab)));
    const auto out = hn::Or(
        hn::And(ab, hn::Set(d16, static_cast<short>(-2 * half_ab))),
        hn::And(hn::Add(c, hn::Set(d16, half_c)), hn::Set(d16, static_cast<short>(-2 * half_c))));
    return hn::AllTrue(d16, hn::Eq(out, hn::Zero(d16)));
}

HWY_INLINE FastVec to_fast(ShortVec v) {
    return hn::ConvertTo(FastTag(), hn::PromoteTo(IntTag(), v));
}

// trunc(numerator / d) as 16-bit lanes, and in `whole` the lanes whose
// quotient is an integer.  The truncated quotient, an integer below 2^14 in
// magnitude, plus 1.5 * 2^23 is a float whose low bits hold it in two's
// complement.
HWY_INLINE ShortVec truncated_quotient(FastVec numerator, float d, FastMask& whole) {
    const FastTag df;
    const FastVec q = hn::Div(numerator, hn::Set(df, d));
    const FastVec t = hn::Trunc(q);
    whole = hn::Eq(q, t);
    return low16(Int16Tag(), hn::BitCast(IntTag(), hn::Add(t, hn::Set(df, 12582912.0f))));
}

HWY_INLINE FastVec times(FastVec v, float c) { return hn::Mul(v, hn::Set(FastTag(), c)); }

// yc_to_rgb for y in [-8192, 8191], cb and cr in [-4096, 4095]: false when
// a lane is outside that, or when g needs the double formula.  r and b are
// never off there: their integer quotients come where cr is a multiple of
// 500 or cb one of 250, and the double formula truncates right on all of
// those cases for |cr| < 5500 and any cb (every one checked; the
// plane-row exactness test runs them).  g can be off wherever its quotient
// is an integer, unless cb = cr = 0, where the double formula is y itself.
HWY_INLINE bool yc_to_rgb_fast(ShortVec y16, ShortVec cb16, ShortVec cr16, ShortVec& r, ShortVec& g,
                               ShortVec& b) {
    if (!within(cb16, cr16, y16, 4096, 8192)) return false;
    const FastVec y = to_fast(y16), cb = to_fast(cb16), cr = to_fast(cr16);
    FastMask r_whole, g_whole, b_whole;
    r = truncated_quotient(hn::Add(times(y, 500), times(cr, 701)), 500, r_whole);
    g = truncated_quotient(hn::Sub(hn::Sub(times(y, 500), times(cb, 172)), times(cr, 357)), 500,
                           g_whole);
    b = truncated_quotient(hn::Add(times(y, 250), times(cb, 443)), 250, b_whole);
    const FastTag df;
    const auto grey = hn::Eq(hn::Or(cb, cr), hn::Zero(df));
    return hn::AllFalse(df, hn::AndNot(grey, g_whole));
}

// rgb_to_yc for r, g and b in [-8192, 8191]: false when a lane is outside
// that, or when a quotient is an integer, except for black (0, 0, 0),
// which the double formula gives exactly.
HWY_INLINE bool rgb_to_yc_fast(ShortVec r16, ShortVec g16, ShortVec b16, ShortVec& y, ShortVec& cb,
                               ShortVec& cr) {
    if (!within(r16, g16, b16, 8192, 8192)) return false;
    const FastVec r = to_fast(r16), g = to_fast(g16), b = to_fast(b16);
    FastMask y_whole, cb_whole, cr_whole;
    y = truncated_quotient(hn::Add(hn::Add(times(g, 587), times(r, 299)), times(b, 114)), 1000,
                           y_whole);
    cb = truncated_quotient(hn::Sub(hn::Sub(times(b, 500), times(r, 169)), times(g, 331)), 1000,
                            cb_whole);
    cr = truncated_quotient(hn::Sub(hn::Sub(times(r, 500), times(g, 419)), times(b, 81)), 1000,
                            cr_whole);
    const FastTag df;
    const auto black = hn::Eq(hn::Or(hn::Or(r, g), b), hn::Zero(df));
    return hn::AllFalse(df, hn::AndNot(black, hn::Or(y_whole, hn::Or(cb_whole, cr_whole))));
}

// Each step of pixels through fast(a, b, c, x, y, z) and, when it declines,
// through the double conversion of convert_shorts.
template <class Fast, class Convert, class One>
HWY_INLINE void convert_shorts_fast(const PIXEL_YC* in, PIXEL_YC* out, std::size_t n,
                                    const Fast& fast, const Convert& convert, const One& one) {
    const Int16Tag d16;
    const int step = static_cast<int>(hn::Lanes(d16));
    row_steps(
        static_cast<int>(n), step,
        [&](int i) {
            ShortVec a, b, c, x, y, z;
            load_pixels(d16, in + i, a, b, c);
            if (fast(a, b, c, x, y, z))
                store_pixels(d16, x, y, z, out + i);
            else
                convert_shorts(in + i, out + i, step, convert, one);
        },
        [&](int i) { convert_shorts(in + i, out + i, 1, convert, one); });
}

static void yc_to_rgb_row(const PIXEL_YC* in, toolkit::rgb<short>* out, std::size_t n) {
    convert_shorts_fast(
        in, reinterpret_cast<PIXEL_YC*>(out), n,
        [](auto y, auto cb, auto cr, auto& r, auto& g, auto& b) {
            return yc_to_rgb_fast(y, cb, cr, r, g, b);
        },
        [](auto df, auto y, auto cb, auto cr, auto& r, auto& g, auto& b) {
            pixel_simd::HWY_NAMESPACE::yc_to_rgb(df, y, cb, cr, r, g, b);
        },
        [](double y, double cb, double cr) { return ::yc_to_rgb(y, cb, cr); });
}

static void rgb_to_yc_row(const toolkit::rgb<short>* in, PIXEL_YC* out, std::size_t n) {
    convert_shorts_fast(
        reinterpret_cast<const PIXEL_YC*>(in), out, n,
        [](auto r, auto g, auto b, auto& y, auto& cb, auto& cr) {
            return rgb_to_yc_fast(r, g, b, y, cb, cr);
        },
        [](auto df, auto r, auto g, auto b, auto& y, auto& cb, auto& cr) {
            pixel_simd::HWY_NAMESPACE::rgb_to_yc(df, r, g, b, y, cb, cr);
        },
        [](double r, double g, double b) { return ::rgb_to_yc(r, g, b); });
}

// Median keys (toolkit/median_rows.h) straight to Y, Cb, Cr: a key's
// 16-bit quarters are B, G and R with their top bits flipped, then the
// exponent; the pixels the fast form declines go through the keys' own
// decoding and the double formula.
static void median_keys_to_yc_row(const double* keys, PIXEL_YC* out, std::size_t n) {
    const Int16Tag d16;
    const int step = static_cast<int>(hn::Lanes(d16));
    const auto flip = hn::Set(d16, static_cast<short>(-32768));
    const auto* quarters = reinterpret_cast<const std::int16_t*>(keys);
    toolkit::rgb<short> pixels[hn::MaxLanes(Int16Tag())];
    const auto convert = [](auto df, auto r, auto g, auto b, auto& y, auto& cb, auto& cr) {
        pixel_simd::HWY_NAMESPACE::rgb_to_yc(df, r, g, b, y, cb, cr);
    };
    const auto one = [](double r, double g, double b) { return ::rgb_to_yc(r, g, b); };
    const auto slow = [&](int i, int count) {
        toolkit::row_kernels::from_keys(keys + i, &pixels[0].r, static_cast<std::size_t>(count));
        convert_shorts(reinterpret_cast<const PIXEL_YC*>(pixels), out + i, count, convert, one);
    };
    row_steps(
        static_cast<int>(n), step,
        [&](int i) {
            ShortVec b, g, r, exponent, y, cb, cr;
            hn::LoadInterleaved4(d16, quarters + 4 * i, b, g, r, exponent);
            if (rgb_to_yc_fast(hn::Xor(r, flip), hn::Xor(g, flip), hn::Xor(b, flip), y, cb, cr))
                store_pixels(d16, y, cb, cr, out + i);
            else
                slow(i, step);
        },
        [&](int i) { slow(i, 1); });
}

static void yc_to_rgbf_row(const PIXEL_YC* in, toolkit::rgb<float>* out, std::size_t n) {
    const RealTag df;
    const FloatTag d32;
    const int lanes = static_cast<int>(hn::Lanes(df));
    row_steps(
        static_cast<int>(n), real_step(),
        [&](int i) {
            RealPlanes px;
            load_real(in + i, px);
            for (int h = 0; h < kRealParts; ++h) {
                RealVec r, g, b;
                pixel_simd::HWY_NAMESPACE::yc_to_rgb(df, px.y[h], px.cb[h], px.cr[h], r, g, b);
                hn::StoreInterleaved3(to_float(d32, r), to_float(d32, g), to_float(d32, b), d32,
                                      &out[i + h * lanes].r);
            }
        },
        [&](int i) {
            const Triple t = ::yc_to_rgb(in[i].y, in[i].cb, in[i].cr);
            out[i] = {static_cast<float>(t.a), static_cast<float>(t.b), static_cast<float>(t.c)};
        });
}

static void rgbf_to_yc_row(const toolkit::rgb<float>* in, PIXEL_YC* out, std::size_t n) {
    const RealTag df;
    const FloatTag d32;
    const int lanes = static_cast<int>(hn::Lanes(df));
    real_steps(
        [&](int i, RealPlanes& px) {
            for (int h = 0; h < kRealParts; ++h) {
                hn::Vec<FloatTag> r, g, b;
                hn::LoadInterleaved3(d32, &in[i + h * lanes].r, r, g, b);
                px.y[h] = hn::PromoteTo(df, r), px.cb[h] = hn::PromoteTo(df, g);
                px.cr[h] = hn::PromoteTo(df, b);
            }
        },
        out, static_cast<int>(n),
        [&](RealVec r, RealVec g, RealVec b, RealIntVec& y, RealIntVec& cb, RealIntVec& cr) {
            RealVec fy, fcb, fcr;
            pixel_simd::HWY_NAMESPACE::rgb_to_yc(df, r, g, b, fy, fcb, fcr);
            y = trunc_int_saturated(df, fy), cb = trunc_int_saturated(df, fcb);
            cr = trunc_int_saturated(df, fcr);
        },
        [&](int i) {
            const Triple t = ::rgb_to_yc(in[i].r, in[i].g, in[i].b);
            out[i] = {to_component(t.a), to_component(t.b), to_component(t.c)};
        });
}

// The Y copies of the work plane carry most of the time of the light
// filters (morphology, labelling), so they too take whole vectors.
static void y_of_row(const PIXEL_YC* in, short* out, std::size_t n) {
    short_steps(
        n,
        [&](auto d16, int i) {
            hn::Vec<decltype(d16)> y, cb, cr;
            load_pixels(d16, in + i, y, cb, cr);
            hn::StoreU(y, d16, out + i);
        },
        [&](int i) { out[i] = in[i].y; });
}

static void y_into_row(const short* in, PIXEL_YC* out, std::size_t n) {
    short_steps(
        n,
        [&](auto d16, int i) {
            hn::Vec<decltype(d16)> y, cb, cr;
            load_pixels(d16, out + i, y, cb, cr);
            store_pixels(d16, hn::LoadU(d16, in + i), cb, cr, out + i);
        },
        [&](int i) { out[i].y = in[i]; });
}

}  // namespace HWY_NAMESPACE
}  // namespace plane_rows_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace plane_rows_simd {
HWY_EXPORT(yc_to_rgb_row);
HWY_EXPORT(yc_to_rgbf_row);
HWY_EXPORT(y_of_row);
HWY_EXPORT(y_into_row);
HWY_EXPORT(rgb_to_yc_row);
HWY_EXPORT(rgbf_to_yc_row);
HWY_EXPORT(median_keys_to_yc_row);
}  // namespace plane_rows_simd

void yc_to_rgb_row(const PIXEL_YC* in, toolkit::rgb<short>* out, std::size_t n) {
    HWY_DYNAMIC_DISPATCH(plane_rows_simd::yc_to_rgb_row)(in, out, n);
}

void yc_to_rgbf_row(const PIXEL_YC* in, toolkit::rgb<float>* out, std::size_t n) {
    HWY_DYNAMIC_DISPATCH(plane_rows_simd::yc_to_rgbf_row)(in, out, n);
}

void y_of_row(const PIXEL_YC* in, short* out, std::size_t n) {
    HWY_DYNAMIC_DISPATCH(plane_rows_simd::y_of_row)(in, out, n);
}

void y_into_row(const short* in, PIXEL_YC* out, std::size_t n) {
    HWY_DYNAMIC_DISPATCH(plane_rows_simd::y_into_row)(in, out, n);
}

void rgb_to_yc_row(const toolkit::rgb<short>* in, PIXEL_YC* out, std::size_t n) {
    HWY_DYNAMIC_DISPATCH(plane_rows_simd::rgb_to_yc_row)(in, out, n);
}

void rgbf_to_yc_row(const toolkit::rgb<float>* in, PIXEL_YC* out, std::size_t n) {
    HWY_DYNAMIC_DISPATCH(plane_rows_simd::rgbf_to_yc_row)(in, out, n);
}

void median_keys_to_yc_row(const double* keys, PIXEL_YC* out, std::size_t n) {
    HWY_DYNAMIC_DISPATCH(plane_rows_simd::median_keys_to_yc_row)(keys, out, n);
}
#endif  // HWY_ONCE
