// The vector rows of the pixel conversions.  Samples and editor values meet
// in 32-bit lanes, where every formula of pixel_convert.cpp is exact; the
// pixels are split into and joined from their three components by
// Highway's interleaved loads and stores.  The portable one-lane target
// leaves every row to the plain loops.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "media/pixel_rows.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "buffers/pixel_simd-inl.h"
#include "media/pixel_rows.h"
#include "toolkit/number_simd-inl.h"

HWY_BEFORE_NAMESPACE();
namespace pixel_rows_simd {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;
using pixel_rows::OutScale;
using pixel_rows::Scale;

#if HWY_TARGET == HWY_SCALAR
// The rows the plain loops do whole.
template <class... Args>
HWY_INLINE void leave_to_plain_loops(const Args&...) {}
#else
using IntTag = hn::ScalableTag<std::int32_t>;
using UintTag = hn::RebindToUnsigned<IntTag>;
using ShortTag = hn::Repartition<std::int16_t, IntTag>;
using HalfShortTag = hn::Rebind<std::int16_t, IntTag>;  // = Half<ShortTag>
using IntVec = hn::Vec<IntTag>;

// Lanes(IntTag) samples as 32-bit lanes.
template <class T>
HWY_INLINE IntVec load_samples(const T* p) {
    return hn::PromoteTo(IntTag(), hn::LoadU(hn::Rebind<T, IntTag>(), p));
}

// ((v - mid) * mul + add) >> shift, plus offset.
HWY_INLINE IntVec apply(const Scale& k, IntVec v) {
    const IntTag d;
    const IntVec scaled =
        hn::Add(hn::Mul(hn::Sub(v, hn::Set(d, k.mid)), hn::Set(d, k.mul)), hn::Set(d, k.add));
    return hn::Add(hn::ShiftRightSame(scaled, k.shift), hn::Set(d, k.offset));
}

// (((v + bias) * mul + add) >> 12) + offset, limited to 0..max.
HWY_INLINE IntVec put(const OutScale& k, IntVec v) {
    const IntTag d;
    const IntVec scaled =
        hn::Add(hn::Mul(hn::Add(v, hn::Set(d, k.bias)), hn::Set(d, k.mul)), hn::Set(d, k.add));
    const IntVec s = hn::Add(hn::ShiftRight<12>(scaled), hn::Set(d, k.offset));
    return hn::Min(hn::Max(s, hn::Zero(d)), hn::Set(d, k.max));
}

// Two vectors of 32-bit results as one vector of 16-bit values (low bits).
HWY_INLINE hn::Vec<ShortTag> join_low16(IntVec lo, IntVec hi) {
    using number_simd::HWY_NAMESPACE::low16;
    const HalfShortTag dh;
    return hn::Combine(ShortTag(), low16(dh, hi), low16(dh, lo));
}

// The two halves of 16-bit values as 32-bit lanes.
HWY_INLINE void halves(hn::Vec<ShortTag> v, IntVec& lo, IntVec& hi) {
    const HalfShortTag dh;
    lo = hn::PromoteTo(IntTag(), hn::LowerHalf(dh, v));
    hi = hn::PromoteTo(IntTag(), hn::UpperHalf(dh, v));
}

// Lanes(IntTag) pairs of neighbouring samples, each in one unsigned lane
// (the first in the low bits).
template <class Pair>
HWY_INLINE hn::Vec<UintTag> load_pairs(const Pair* p) {
    if constexpr (sizeof(Pair) == 4)
        return hn::LoadU(UintTag(), p);
    else
        return hn::PromoteTo(UintTag(), hn::LoadU(hn::Rebind<Pair, IntTag>(), p));
}

// Results within 0..max (of T) stored as samples.
template <class T>
HWY_INLINE void store_samples(IntVec v, T* p) {
    const hn::Rebind<T, IntTag> dt;
    hn::StoreU(hn::DemoteTo(dt, v), dt, p);
}
#endif

// One row of each plane, as samples of T.
template <class T>
struct InRows {
    const T *y, *cb, *cr;
    InRows(const void* y_row, const void* cb_row, const void* cr_row)
        : y(static_cast<const T*>(y_row)),
          cb(static_cast<const T*>(cb_row)),
          cr(static_cast<const T*>(cr_row)) {}
};

template <class T>
HWY_INLINE int in_444_rows(InRows<T> in, int w, PIXEL_YC* d, const Scale& ly, const Scale& lc) {
    const T *py = in.y, *pu = in.cb, *pv = in.cr;
    int x = 0;
#if HWY_TARGET != HWY_SCALAR
    const int lanes = static_cast<int>(hn::Lanes(IntTag()));
    const auto plane = [&](const T* p, const Scale& k, int at) {
        return join_low16(apply(k, load_samples(p + at)), apply(k, load_samples(p + at + lanes)));
    };
    for (; x + 2 * lanes <= w; x += 2 * lanes)
        hn::StoreInterleaved3(plane(py, ly, x), plane(pu, lc, x), plane(pv, lc, x), ShortTag(),
                              &d[x].y);
#else
    leave_to_plain_loops(py, pu, pv, w, d, ly, lc);
#endif
    return x;
}

// Each chroma sample serves two pixels.  A pair of pixels is three 32-bit
// words, (y0, cb) (cr, y1) (cb, cr), stored interleaved.
template <class T>
HWY_INLINE int in_422_rows(InRows<T> in, int w, PIXEL_YC* d, const Scale& ly, const Scale& lc) {
    const T *py = in.y, *pu = in.cb, *pv = in.cr;
    int pairs = 0;
#if HWY_TARGET != HWY_SCALAR
    using Pair = hwy::MakeUnsigned<hwy::MakeWide<T>>;  // two samples side by side
    constexpr int kBits = 8 * sizeof(T);
    const IntTag di;
    const UintTag du;
    const int lanes = static_cast<int>(hn::Lanes(di));
    const auto word = hn::Set(di, 0xffff);
    for (; 2 * (pairs + lanes) <= w; pairs += lanes) {
        const auto both = load_pairs(reinterpret_cast<const Pair*>(py) + pairs);
        const auto first = hn::And(both, hn::Set(du, (1u << kBits) - 1));
        const IntVec y0 = hn::And(apply(ly, hn::BitCast(di, first)), word);
        const IntVec y1 = apply(ly, hn::BitCast(di, hn::ShiftRight<kBits>(both)));
        const IntVec cb = apply(lc, load_samples(pu + pairs));
        const IntVec cr = apply(lc, load_samples(pv + pairs));
        const IntVec cb_low = hn::And(cb, word), cr_low = hn::And(cr, word);
        hn::StoreInterleaved3(hn::Or(y0, hn::ShiftLeft<16>(cb)),
                              hn::Or(cr_low, hn::ShiftLeft<16>(y1)),
                              hn::Or(cb_low, hn::ShiftLeft<16>(cr)), di,
                              reinterpret_cast<std::int32_t*>(d + 2 * pairs));
    }
#else
    leave_to_plain_loops(py, pu, pv, w, d, ly, lc);
#endif
    return 2 * pairs;
}

template <class T>
HWY_INLINE int out_444_rows(const PIXEL_YC* s, int w, void* y_row, void* cb_row, void* cr_row,
                            const OutScale& ly, const OutScale& lc) {
    T *py = static_cast<T*>(y_row), *pu = static_cast<T*>(cb_row), *pv = static_cast<T*>(cr_row);
    int x = 0;
#if HWY_TARGET != HWY_SCALAR
    const int lanes = static_cast<int>(hn::Lanes(IntTag()));
    const auto plane = [&](hn::Vec<ShortTag> v, const OutScale& k, T* p) {
        IntVec lo, hi;
        halves(v, lo, hi);
        store_samples(put(k, lo), p + x);
        store_samples(put(k, hi), p + x + lanes);
    };
    for (; x + 2 * lanes <= w; x += 2 * lanes) {
        hn::Vec<ShortTag> y, cb, cr;
        hn::LoadInterleaved3(ShortTag(), &s[x].y, y, cb, cr);
        plane(y, ly, py), plane(cb, lc, pu), plane(cr, lc, pv);
    }
#else
    leave_to_plain_loops(s, w, py, pu, pv, ly, lc);
#endif
    return x;
}

template <class T>
HWY_INLINE int out_420_rows(const PIXEL_YC* a, const PIXEL_YC* b, int w, void* ya_row, void* yb_row,
                            void* cb_row, void* cr_row, const OutScale& ly, const OutScale& lc) {
    T *ya = static_cast<T*>(ya_row), *yb = static_cast<T*>(yb_row), *pu = static_cast<T*>(cb_row),
      *pv = static_cast<T*>(cr_row);
    int x = 0;
#if HWY_TARGET != HWY_SCALAR
    const IntTag di;
    const int lanes = static_cast<int>(hn::Lanes(di));
    const auto luma = [&](hn::Vec<ShortTag> v, T* p) {
        IntVec lo, hi;
        halves(v, lo, hi);
        store_samples(put(ly, lo), p + x);
        store_samples(put(ly, hi), p + x + lanes);
    };
    // Neighbouring 16-bit values summed, as 32-bit lanes.
    const auto pair_sums = [&](hn::Vec<ShortTag> v) {
        const IntVec w32 = hn::BitCast(di, v);
        return hn::Add(hn::ShiftRight<16>(hn::ShiftLeft<16>(w32)), hn::ShiftRight<16>(w32));
    };
    const auto chroma = [&](hn::Vec<ShortTag> ca, hn::Vec<ShortTag> cb, T* p) {
        const IntVec sum = hn::Add(pair_sums(ca), pair_sums(cb));
        store_samples(put(lc, hn::ShiftRight<2>(hn::Add(sum, hn::Set(di, 2)))), p + x / 2);
    };
    for (; x + 2 * lanes <= w; x += 2 * lanes) {
        hn::Vec<ShortTag> y0, cb0, cr0, y1, cb1, cr1;
        hn::LoadInterleaved3(ShortTag(), &a[x].y, y0, cb0, cr0);
        hn::LoadInterleaved3(ShortTag(), &b[x].y, y1, cb1, cr1);
        luma(y0, ya);
        if (yb != ya) luma(y1, yb);
        chroma(cb0, cb1, pu);
        chroma(cr0, cr1, pv);
    }
#else
    leave_to_plain_loops(a, b, w, ya, yb, pu, pv, ly, lc);
#endif
    return x;
}

static int in_444(const void* py, const void* pu, const void* pv, bool words, int w, PIXEL_YC* d,
                  const Scale& ly, const Scale& lc) {
    return words ? in_444_rows(InRows<std::uint16_t>(py, pu, pv), w, d, ly, lc)
                 : in_444_rows(InRows<std::uint8_t>(py, pu, pv), w, d, ly, lc);
}

static int in_422(const void* py, const void* pu, const void* pv, bool words, int w, PIXEL_YC* d,
                  const Scale& ly, const Scale& lc) {
    return words ? in_422_rows(InRows<std::uint16_t>(py, pu, pv), w, d, ly, lc)
                 : in_422_rows(InRows<std::uint8_t>(py, pu, pv), w, d, ly, lc);
}

static int out_444(const PIXEL_YC* s, int w, void* py, void* pu, void* pv, bool words,
                   const OutScale& ly, const OutScale& lc) {
    return (words ? out_444_rows<std::uint16_t> : out_444_rows<std::uint8_t>)(s, w, py, pu, pv, ly,
                                                                              lc);
}

static int out_420(const PIXEL_YC* a, const PIXEL_YC* b, int w, void* ya, void* yb, void* pu,
                   void* pv, bool words, const OutScale& ly, const OutScale& lc) {
    return (words ? out_420_rows<std::uint16_t> : out_420_rows<std::uint8_t>)(a, b, w, ya, yb, pu,
                                                                              pv, ly, lc);
}

// R, G and B of yc_to_rgb, then round(v * 255 / 4096) as std::round does
// it (halves away from zero), limited to 0..255.
static int out_rgb24(const PIXEL_YC* s, int w, std::uint8_t* rgb) {
    int x = 0;
#if HWY_TARGET != HWY_SCALAR
    using pixel_simd::HWY_NAMESPACE::RealTag;
    using pixel_simd::HWY_NAMESPACE::to_real;
    const RealTag df;
    const hn::Rebind<std::int16_t, RealTag> d16;
    const hn::Rebind<std::int32_t, RealTag> d32;
    const hn::Rebind<std::uint8_t, RealTag> d8;
    const int lanes = static_cast<int>(hn::Lanes(df));
    const auto byte = [&](hn::Vec<RealTag> v) {
        const auto t = hn::Div(hn::Mul(v, hn::Set(df, 255.0)), hn::Set(df, 4096.0));
        const auto whole = hn::Trunc(t);
        const auto away = hn::Ge(hn::Abs(hn::Sub(t, whole)), hn::Set(df, 0.5));
        const auto rounded =
            hn::Add(whole, hn::IfThenElseZero(away, hn::CopySign(hn::Set(df, 1.0), t)));
        const auto limited = hn::Min(hn::Max(rounded, hn::Zero(df)), hn::Set(df, 255.0));
        return hn::DemoteTo(d8, hn::DemoteTo(d32, limited));
    };
    for (; x + lanes <= w; x += lanes) {
        hn::Vec<decltype(d16)> y, cb, cr;
        hn::LoadInterleaved3(d16, &s[x].y, y, cb, cr);
        hn::Vec<RealTag> r, g, b;
        pixel_simd::HWY_NAMESPACE::yc_to_rgb(df, to_real(df, y), to_real(df, cb), to_real(df, cr),
                                             r, g, b);
        hn::StoreInterleaved3(byte(r), byte(g), byte(b), d8, rgb + 3 * x);
    }
#else
    leave_to_plain_loops(s, w, rgb);
#endif
    return x;
}

}  // namespace HWY_NAMESPACE
}  // namespace pixel_rows_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace pixel_rows_simd {
HWY_EXPORT(in_444);
HWY_EXPORT(in_422);
HWY_EXPORT(out_444);
HWY_EXPORT(out_420);
HWY_EXPORT(out_rgb24);
}  // namespace pixel_rows_simd

namespace pixel_rows {

int in_444(const void* py, const void* pu, const void* pv, bool words, int w, PIXEL_YC* d,
           const Scale& ly, const Scale& lc) {
    return HWY_DYNAMIC_DISPATCH(pixel_rows_simd::in_444)(py, pu, pv, words, w, d, ly, lc);
}

int in_422(const void* py, const void* pu, const void* pv, bool words, int w, PIXEL_YC* d,
           const Scale& ly, const Scale& lc) {
    return HWY_DYNAMIC_DISPATCH(pixel_rows_simd::in_422)(py, pu, pv, words, w, d, ly, lc);
}

int out_444(const PIXEL_YC* s, int w, void* py, void* pu, void* pv, bool words, const OutScale& ly,
            const OutScale& lc) {
    return HWY_DYNAMIC_DISPATCH(pixel_rows_simd::out_444)(s, w, py, pu, pv, words, ly, lc);
}

int out_420(const PIXEL_YC* a, const PIXEL_YC* b, int w, void* ya, void* yb, void* pu, void* pv,
            bool words, const OutScale& ly, const OutScale& lc) {
    return HWY_DYNAMIC_DISPATCH(pixel_rows_simd::out_420)(a, b, w, ya, yb, pu, pv, words, ly, lc);
}

int out_rgb24(const PIXEL_YC* s, int w, std::uint8_t* rgb) {
    return HWY_DYNAMIC_DISPATCH(pixel_rows_simd::out_rgb24)(s, w, rgb);
}

}  // namespace pixel_rows
#endif  // HWY_ONCE
