// Vector building blocks of the pointwise kernels, compiled once per
// instruction set (Highway's per-target inclusion: include this after
// hwy/highway.h in a file that is itself included once per target through
// hwy/foreach_target.h).
//
// Pixels are loaded as three planes of 16-bit lanes (y, cb, cr) and stored
// back interleaved.  Two lane layouts serve the kernels:
//   integer kernels  32-bit lanes (IntTag), the pixels loaded as 16-bit
//                    lanes of the same count (Int16Tag) and widened
//   double kernels   double lanes (RealTag), with int32 (RealIntTag) and
//                    int16 (Real16Tag) tags of the same lane count
// Every operation here is exact (integer arithmetic, single IEEE double
// operations in the order of the scalar formulas), so a vector lane gives
// bit for bit what the per-pixel code gives.  The build keeps FMA
// contraction off: a multiply and an add stay two rounded operations.

// Per-target include guard (toggled by foreach_target.h).
#if defined(QUORVEL_BUFFERS_PIXEL_SIMD_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef QUORVEL_BUFFERS_PIXEL_SIMD_INL_H_
#undef QUORVEL_BUFFERS_PIXEL_SIMD_INL_H_
#else
#define QUORVEL_BUFFERS_PIXEL_SIMD_INL_H_
#endif

#include <cstdint>
#include <type_traits>

#include <hwy/highway.h>

#include "platform/aviutl.h"
#include "toolkit/number_simd-inl.h"

HWY_BEFORE_NAMESPACE();
namespace pixel_simd {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

using IntTag = hn::ScalableTag<std::int32_t>;
using Int16Tag = hn::Rebind<std::int16_t, IntTag>;
using RealTag = hn::ScalableTag<double>;
using RealIntTag = hn::Rebind<std::int32_t, RealTag>;
using Real16Tag = hn::Rebind<std::int16_t, RealTag>;
using RealVec = hn::Vec<RealTag>;
using RealIntVec = hn::Vec<RealIntTag>;

// Lanes(d) pixels from p as three planes.
template <class D>
HWY_INLINE void load_pixels(D d, const PIXEL_YC* p, hn::Vec<D>& y, hn::Vec<D>& cb, hn::Vec<D>& cr) {
    hn::LoadInterleaved3(d, reinterpret_cast<const std::int16_t*>(p), y, cb, cr);
}

template <class D>
HWY_INLINE void store_pixels(D d, hn::Vec<D> y, hn::Vec<D> cb, hn::Vec<D> cr, PIXEL_YC* p) {
    hn::StoreInterleaved3(y, cb, cr, d, reinterpret_cast<std::int16_t*>(p));
}

// A mask pixel: the grade in y, cb = cr = 0.
template <class D>
HWY_INLINE void store_grades(D d, hn::Vec<D> grade, PIXEL_YC* p) {
    store_pixels(d, grade, hn::Zero(d), hn::Zero(d), p);
}

// 32-bit lanes to 16 bits: the low 16 bits (wrapping), or saturated.
using number_simd::HWY_NAMESPACE::low16;

template <class D16, class V32>
HWY_INLINE hn::Vec<D16> saturate16(D16 d16, V32 v) {
    return hn::DemoteTo(d16, v);
}

// 16-bit lanes to doubles, exactly.
template <class DF>
HWY_INLINE hn::Vec<DF> to_real(DF df, hn::Vec<hn::Rebind<std::int16_t, DF>> v) {
    return hn::PromoteTo(df, hn::PromoteTo(hn::Rebind<std::int32_t, DF>(), v));
}

// Doubles truncated toward zero to 32-bit lanes.  Only for values known to
// be numbers within the int range (trunc_to_int's saturation and NaN rule
// are not reproduced).
template <class DF>
HWY_INLINE hn::Vec<hn::Rebind<std::int32_t, DF>> trunc_int(DF df, hn::Vec<DF> v) {
    return number_simd::HWY_NAMESPACE::truncate_int_in_range(df, v);
}

// trunc_to_int of numeric.h lane by lane: NaN gives 0, values beyond the
// int range its ends.
template <class DF>
HWY_INLINE hn::Vec<hn::Rebind<std::int32_t, DF>> trunc_int_saturated(DF df, hn::Vec<DF> v) {
    return number_simd::HWY_NAMESPACE::truncate_int(df, v);
}

// yc_to_rgb and rgb_to_yc of pixel_format.h, lane by lane, same order.
template <class DF>
HWY_INLINE void yc_to_rgb(DF df, hn::Vec<DF> y, hn::Vec<DF> cb, hn::Vec<DF> cr, hn::Vec<DF>& r,
                          hn::Vec<DF>& g, hn::Vec<DF>& b) {
    r = hn::Add(hn::Mul(cr, hn::Set(df, 1.402)), y);
    g = hn::Sub(hn::Sub(y, hn::Mul(cb, hn::Set(df, 0.344))), hn::Mul(cr, hn::Set(df, 0.714)));
    b = hn::Add(y, hn::Mul(cb, hn::Set(df, 1.772)));
}

template <class DF>
HWY_INLINE void rgb_to_yc(DF df, hn::Vec<DF> r, hn::Vec<DF> g, hn::Vec<DF> b, hn::Vec<DF>& y,
                          hn::Vec<DF>& cb, hn::Vec<DF>& cr) {
    y = hn::Add(hn::Add(hn::Mul(g, hn::Set(df, 0.587)), hn::Mul(r, hn::Set(df, 0.299))),
                hn::Mul(b, hn::Set(df, 0.114)));
    cb = hn::Sub(hn::Mul(b, hn::Set(df, 0.5)),
                 hn::Add(hn::Mul(r, hn::Set(df, 0.169)), hn::Mul(g, hn::Set(df, 0.331))));
    cr = hn::Sub(hn::Sub(hn::Mul(r, hn::Set(df, 0.5)), hn::Mul(g, hn::Set(df, 0.419))),
                 hn::Mul(b, hn::Set(df, 0.081)));
}

// Double kernels take Lanes(IntTag) pixels a step: the 16-bit planes are
// loaded at that width, where deinterleaving costs least, widened, and
// split into kRealParts vectors of doubles (one on the scalar target).
#if HWY_TARGET == HWY_SCALAR
constexpr int kRealParts = 1;
#else
constexpr int kRealParts = 2;
#endif

struct RealPlanes {
    hn::Vec<RealTag> y[kRealParts], cb[kRealParts], cr[kRealParts];
};

// 32-bit results of a double kernel, part by part.
using IntParts = hn::Vec<RealIntTag>[kRealParts];

HWY_INLINE int real_step() { return kRealParts * static_cast<int>(hn::Lanes(RealTag())); }

HWY_INLINE void load_real(const PIXEL_YC* p, RealPlanes& out) {
    const RealTag df;
#if HWY_TARGET == HWY_SCALAR
    const Real16Tag d16;
    hn::Vec<Real16Tag> y, cb, cr;
    load_pixels(d16, p, y, cb, cr);
    out.y[0] = to_real(df, y), out.cb[0] = to_real(df, cb), out.cr[0] = to_real(df, cr);
#else
    const IntTag di;
    const Int16Tag d16;
    const hn::Half<IntTag> dh;
    hn::Vec<Int16Tag> y, cb, cr;
    load_pixels(d16, p, y, cb, cr);
    const auto split = [&](hn::Vec<Int16Tag> v, hn::Vec<RealTag>* parts) {
        const auto w = hn::PromoteTo(di, v);
        parts[0] = hn::PromoteTo(df, hn::LowerHalf(dh, w));
        parts[1] = hn::PromoteTo(df, hn::UpperHalf(dh, w));
    };
    split(y, out.y), split(cb, out.cb), split(cr, out.cr);
#endif
}

// The parts joined into 16-bit lanes: the low 16 bits, or saturated.
template <bool Saturate>
HWY_INLINE hn::Vec<Int16Tag> join16(const IntParts& parts) {
#if HWY_TARGET == HWY_SCALAR
    const auto v = parts[0];
#else
    const auto v = hn::Combine(IntTag(), parts[1], parts[0]);
#endif
    if constexpr (Saturate)
        return hn::DemoteTo(Int16Tag(), v);
    else
        return low16(Int16Tag(), v);
}

// Whole pixels stored with the low 16 bits of each component.
HWY_INLINE void store_wrapped(const IntParts& y, const IntParts& cb, const IntParts& cr,
                              PIXEL_YC* p) {
    store_pixels(Int16Tag(), join16<false>(y), join16<false>(cb), join16<false>(cr), p);
}

// Mask pixels from grades already within the 16-bit range.
HWY_INLINE void store_grade_parts(const IntParts& grade, PIXEL_YC* p) {
    store_grades(Int16Tag(), join16<true>(grade), p);
}

// Flat kernels, for rules that treat the three components alike (each
// with its own constants), skip deinterleaving: they see a run of pixels as
// its 16-bit values y, cb, cr, y, ... in chunks of Lanes(D) values, and
// three chunks hold Lanes(D) pixels.  Lane l of chunk c holds component
// (c * Lanes(D) + l) mod 3; component_pattern gives a vector per chunk with
// the constant of that component in each lane.
template <class D, class T>
HWY_INLINE void component_pattern(D d, T c0, T c1, T c2, hn::Vec<D> (&out)[3]) {
    using Lane = hn::TFromD<D>;
    const T c[3] = {c0, c1, c2};
    const size_t lanes = hn::Lanes(d);
    HWY_ALIGN Lane buffer[64];
    for (size_t chunk = 0; chunk < 3; ++chunk) {
        for (size_t l = 0; l < lanes; ++l)
            buffer[l] = static_cast<Lane>(c[(chunk * lanes + l) % 3]);
        out[chunk] = hn::Load(d, buffer);
    }
}

HWY_INLINE const std::int16_t* values_of(const PIXEL_YC* p) {
    return reinterpret_cast<const std::int16_t*>(p);
}
HWY_INLINE std::int16_t* values_of(PIXEL_YC* p) { return reinterpret_cast<std::int16_t*>(p); }

// Runs vector(i) on each whole step of `step` pixels of a run of n, then
// scalar(i) on each pixel left over.
template <class Vector, class Scalar>
HWY_INLINE void row_steps(int n, int step, const Vector& vector, const Scalar& scalar) {
    int i = 0;
    for (; i + step <= n; i += step) vector(i);
    for (; i < n; ++i) scalar(i);
}

// Runs vector(d16, i) on each whole vector of 16-bit lanes' worth of
// pixels of a run of n (Lanes(d16) pixels from pixel i), then scalar(i) on
// each pixel left over.  Vectors of 256 bits at the most: wider ones cost
// the interleaved loads and stores shuffles across their 128-bit blocks
// that take longer than the copies save (measured on AVX-512).
template <class Vector, class Scalar>
HWY_INLINE void short_steps(std::size_t n, const Vector& vector, const Scalar& scalar) {
    const hn::CappedTag<std::int16_t, 16> d16;
    row_steps(
        static_cast<int>(n), static_cast<int>(hn::Lanes(d16)), [&](int i) { vector(d16, i); },
        scalar);
}

// Flat kernels over a run of n pixels: chunk(c, at) on each chunk c (0, 1,
// 2) of each whole step of `lanes` pixels, `at` being the offset of the
// chunk's first value from the run's first value (see values_of);
// scalar(i) on each pixel left over.
template <class Chunk, class Scalar>
HWY_INLINE void flat_steps(int n, int lanes, const Chunk& chunk, const Scalar& scalar) {
    row_steps(
        n, lanes,
        [&](int i) {
            for (int c = 0; c < 3; ++c) chunk(c, 3 * i + c * lanes);
        },
        scalar);
}

// The double kernels: load(i, planes) gives the doubles of the step of
// pixels from pixel i, part by part, and convert(y, cb, cr, oy, ocb, ocr)
// each part's 32-bit results, stored into `out` with their low 16 bits (or
// saturated).  A convert that returns a bool can give up: false hands the
// whole step to scalar(i), pixel by pixel.  scalar also takes the pixels
// left at the end.
template <bool Saturate = false, class Load, class Convert, class Scalar>
HWY_INLINE void real_steps(const Load& load, PIXEL_YC* out, int n, const Convert& convert,
                           const Scalar& scalar) {
    const int step = real_step();
    row_steps(
        n, step,
        [&](int i) {
            RealPlanes px;
            load(i, px);
            IntParts y, cb, cr;
            for (int h = 0; h < kRealParts; ++h) {
                if constexpr (std::is_void_v<decltype(convert(px.y[h], px.cb[h], px.cr[h], y[h],
                                                              cb[h], cr[h]))>) {
                    convert(px.y[h], px.cb[h], px.cr[h], y[h], cb[h], cr[h]);
                } else if (!convert(px.y[h], px.cb[h], px.cr[h], y[h], cb[h], cr[h])) {
                    for (int k = i; k < i + step; ++k) scalar(k);
                    return;
                }
            }
            store_pixels(Int16Tag(), join16<Saturate>(y), join16<Saturate>(cb),
                         join16<Saturate>(cr), out + i);
        },
        scalar);
}

// The double kernels that work on R, G, B in place: real_steps with each
// part converted by yc_to_rgb first, convert(r, g, b, y, cb, cr).
template <bool Saturate = false, class Convert, class Scalar>
HWY_INLINE void rgb_steps(PIXEL_YC* p, int n, const Convert& convert, const Scalar& scalar) {
    const RealTag df;
    real_steps<Saturate>(
        [&](int i, RealPlanes& px) { load_real(p + i, px); }, p, n,
        [&](RealVec y, RealVec cb, RealVec cr, RealIntVec& oy, RealIntVec& ocb, RealIntVec& ocr) {
            RealVec r, g, b;
            yc_to_rgb(df, y, cb, cr, r, g, b);
            return convert(r, g, b, oy, ocb, ocr);
        },
        scalar);
}

// The double mask kernels: the step's pixels of each input run loaded as
// doubles (px[0] from in[0], px[1] from in[1]), grade(px, h) giving part
// h's grades (within the 16-bit range); scalar(i) grades the pixels left
// at the end.
template <size_t N, class Grade, class Scalar>
HWY_INLINE void grade_steps(const PIXEL_YC* const (&in)[N], PIXEL_YC* out, int n,
                            const Grade& grade, const Scalar& scalar) {
    row_steps(
        n, real_step(),
        [&](int i) {
            RealPlanes px[N];
            for (size_t k = 0; k < N; ++k) load_real(in[k] + i, px[k]);
            IntParts grades;
            for (int h = 0; h < kRealParts; ++h) grades[h] = grade(px, h);
            store_grade_parts(grades, out + i);
        },
        scalar);
}

}  // namespace HWY_NAMESPACE
}  // namespace pixel_simd
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
