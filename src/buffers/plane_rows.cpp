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

static void yc_to_rgb_row(const PIXEL_YC* in, toolkit::rgb<short>* out, std::size_t n) {
    convert_shorts(
        in, reinterpret_cast<PIXEL_YC*>(out), static_cast<int>(n),
        [](auto df, auto y, auto cb, auto cr, auto& r, auto& g, auto& b) {
            pixel_simd::HWY_NAMESPACE::yc_to_rgb(df, y, cb, cr, r, g, b);
        },
        [](double y, double cb, double cr) { return ::yc_to_rgb(y, cb, cr); });
}

static void rgb_to_yc_row(const toolkit::rgb<short>* in, PIXEL_YC* out, std::size_t n) {
    convert_shorts(
        reinterpret_cast<const PIXEL_YC*>(in), out, static_cast<int>(n),
        [](auto df, auto r, auto g, auto b, auto& y, auto& cb, auto& cr) {
            pixel_simd::HWY_NAMESPACE::rgb_to_yc(df, r, g, b, y, cb, cr);
        },
        [](double r, double g, double b) { return ::rgb_to_yc(r, g, b); });
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
#endif  // HWY_ONCE
