// The inner loops of the convolution, Gaussian and box filters, compiled
// once per instruction set and chosen at run time (Highway).  Each element
// gets the operations of its scalar rule (filter_rows.h) in their order;
// the loops take four vectors of elements at a time where the additions of
// one element must stay in tap order, so that those of the others overlap.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "toolkit/filter_rows.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "toolkit/filter_rows.h"
#include "toolkit/number_simd-inl.h"
#include "toolkit/truncate.h"

HWY_BEFORE_NAMESPACE();
namespace filter_rows_simd {
namespace HWY_NAMESPACE {

using namespace number_simd::HWY_NAMESPACE;  // and its alias hn

constexpr std::size_t kUnroll = 4;

// Lanes(d) shorts as doubles.
HWY_INLINE DoubleVec load_shorts(const short* p) {
    return hn::PromoteTo(DoubleTag(), hn::PromoteTo(PartIntTag(), hn::LoadU(PartShortTag(), p)));
}

// The weighted sums of a row, a = 0 + w[0] * src[0][i] + w[1] * src[1][i]
// + ... in tap order, in the lanes of D (elements from load): put(a, i) for
// each whole vector of elements, kUnroll vectors at a time while they last;
// then tail(i) for each element left over.
template <class D, class Source, class Weight, class Load, class Put, class Tail>
HWY_INLINE void weighted_sums(D d, const Source* const* src, const Weight* w, std::size_t taps,
                              std::size_t n, const Load& load, const Put& put, const Tail& tail) {
    const std::size_t lanes = hn::Lanes(d);
    const auto vectors = [&]<std::size_t K>(std::size_t i) {
        hn::Vec<D> a[K];
        for (std::size_t k = 0; k < K; ++k) a[k] = hn::Zero(d);
        for (std::size_t t = 0; t < taps; ++t) {
            const hn::Vec<D> wt = hn::Set(d, w[t]);
            for (std::size_t k = 0; k < K; ++k)
                a[k] = hn::Add(a[k], hn::Mul(wt, load(src[t] + i + k * lanes)));
        }
        for (std::size_t k = 0; k < K; ++k) put(a[k], i + k * lanes);
    };
    std::size_t i = 0;
    for (; i + kUnroll * lanes <= n; i += kUnroll * lanes) vectors.template operator()<kUnroll>(i);
    for (; i + lanes <= n; i += lanes) vectors.template operator()<1>(i);
    for (; i < n; ++i) tail(i);
}

// The same sum of element i, one element.
template <class T, class Source, class Weight>
HWY_INLINE T tap_sum(const Source* const* src, const Weight* w, std::size_t taps, std::size_t i) {
    T sum = 0;
    for (std::size_t t = 0; t < taps; ++t) sum += w[t] * src[t][i];
    return sum;
}

// trunc(v / d) of integers for inverse = 1 / d (see quotient_to_truncate).
HWY_INLINE WideIntVec quotients(WideIntVec v, double inverse) {
    DoubleVec q[kParts];
    PartIntVec t[kParts];
    to_double_parts(v, q);
    for (int h = 0; h < kParts; ++h)
        t[h] = truncate_int_in_range(DoubleTag(), quotient_to_truncate(DoubleTag(), q[h], inverse));
    return join_parts(t);
}

static void convolve(const short* const* src, const double* w, std::size_t taps, short* out,
                     std::size_t n, double sum) {
    const DoubleTag d;
    const PartShortTag d16;
    const bool divide = sum != 0;
    weighted_sums(
        d, src, w, taps, n, load_shorts,
        [&](DoubleVec a, std::size_t i) {
            if (divide) a = hn::Div(a, hn::Set(d, sum));
            hn::StoreU(low16(d16, truncate_int(d, a)), d16, out + i);
        },
        [&](std::size_t i) {
            const double T = tap_sum<double>(src, w, taps, i);
            out[i] = toolkit::truncate_to_short(divide ? T / sum : T);
        });
}

static void convolve_integral(const short* const* src, const std::int32_t* w, std::size_t taps,
                              short* out, std::size_t n, std::int32_t sum) {
    const WideShortTag d16;
    const double divisor = sum, inverse = 1.0 / divisor;
    weighted_sums(
        WideIntTag(), src, w, taps, n,
        [&](const short* p) { return hn::PromoteTo(WideIntTag(), hn::LoadU(d16, p)); },
        [&](WideIntVec a, std::size_t i) {  // trunc(T / S) of two exact integers, as in double
            hn::StoreU(low16(d16, sum != 0 ? quotients(a, inverse) : a), d16, out + i);
        },
        [&](std::size_t i) {
            const std::int32_t T = tap_sum<std::int32_t>(src, w, taps, i);
            out[i] = sum != 0 ? toolkit::truncate_to_short(T / divisor)
                              : static_cast<short>(static_cast<std::uint16_t>(T));
        });
}

static void weighted_sum(const double* const* src, const double* w, std::size_t taps, float* out,
                         std::size_t n, bool divide, double divisor) {
    const DoubleTag d;
    const hn::Rebind<float, DoubleTag> df32;
    weighted_sums(
        d, src, w, taps, n, [&](const double* p) { return hn::LoadU(d, p); },
        [&](DoubleVec a, std::size_t i) {
            if (divide) a = hn::Div(a, hn::Set(d, divisor));
            hn::StoreU(to_float(df32, a), df32, out + i);
        },
        [&](std::size_t i) {
            const double T = tap_sum<double>(src, w, taps, i);
            out[i] = static_cast<float>(divide ? T / divisor : T);
        });
}

static void widen(const float* in, double* out, std::size_t n) {
    const DoubleTag d;
    const hn::Rebind<float, DoubleTag> df32;
    const std::size_t lanes = hn::Lanes(d);
    std::size_t i = 0;
    for (; i + lanes <= n; i += lanes)
        hn::StoreU(hn::PromoteTo(d, hn::LoadU(df32, in + i)), d, out + i);
    for (; i < n; ++i) out[i] = in[i];
}

// acc[i] += row[i] (Subtract: -=).
template <bool Subtract>
HWY_INLINE void accumulate_row(std::int32_t* acc, const short* row, std::size_t n) {
    const WideIntTag d32;
    const WideShortTag d16;
    const std::size_t lanes = hn::Lanes(d32);
    std::size_t i = 0;
    for (; i + lanes <= n; i += lanes) {
        const WideIntVec a = hn::LoadU(d32, acc + i);
        const WideIntVec r = hn::PromoteTo(d32, hn::LoadU(d16, row + i));
        hn::StoreU(Subtract ? hn::Sub(a, r) : hn::Add(a, r), d32, acc + i);
    }
    for (; i < n; ++i) acc[i] = Subtract ? acc[i] - row[i] : acc[i] + row[i];
}

static void add_row(std::int32_t* acc, const short* row, std::size_t n) {
    accumulate_row<false>(acc, row, n);
}

static void subtract_row(std::int32_t* acc, const short* row, std::size_t n) {
    accumulate_row<true>(acc, row, n);
}

static void box_mean(const std::int32_t* colsum, std::size_t kw, short* out, std::size_t n,
                     double count) {
    const WideIntTag d32;
    const WideShortTag d16;
    const double inverse = 1.0 / count;
    const std::size_t lanes = hn::Lanes(d32);
    std::size_t i = 0;
    for (; i + lanes <= n; i += lanes) {
        WideIntVec b = hn::LoadU(d32, colsum + i);
        for (std::size_t m = 1; m < kw; ++m) b = hn::Add(b, hn::LoadU(d32, colsum + i + 3 * m));
        hn::StoreU(low16(d16, quotients(b, inverse)), d16, out + i);
    }
    for (; i < n; ++i) {
        std::int32_t b = 0;
        for (std::size_t m = 0; m < kw; ++m) b += colsum[i + 3 * m];
        out[i] = toolkit::truncate_to_short(b / count);
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace filter_rows_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace filter_rows_simd {
HWY_EXPORT(convolve);
HWY_EXPORT(convolve_integral);
HWY_EXPORT(weighted_sum);
HWY_EXPORT(widen);
HWY_EXPORT(add_row);
HWY_EXPORT(subtract_row);
HWY_EXPORT(box_mean);
}  // namespace filter_rows_simd

namespace toolkit::row_kernels {

void convolve(const short* const* src, const double* w, std::size_t taps, short* out, std::size_t n,
              double sum) {
    HWY_DYNAMIC_DISPATCH(filter_rows_simd::convolve)(src, w, taps, out, n, sum);
}

void convolve_integral(const short* const* src, const std::int32_t* w, std::size_t taps, short* out,
                       std::size_t n, std::int32_t sum) {
    HWY_DYNAMIC_DISPATCH(filter_rows_simd::convolve_integral)(src, w, taps, out, n, sum);
}

void weighted_sum(const double* const* src, const double* w, std::size_t taps, float* out,
                  std::size_t n, bool divide, double divisor) {
    HWY_DYNAMIC_DISPATCH(filter_rows_simd::weighted_sum)(src, w, taps, out, n, divide, divisor);
}

void widen(const float* in, double* out, std::size_t n) {
    HWY_DYNAMIC_DISPATCH(filter_rows_simd::widen)(in, out, n);
}

void add_row(std::int32_t* acc, const short* row, std::size_t n) {
    HWY_DYNAMIC_DISPATCH(filter_rows_simd::add_row)(acc, row, n);
}

void subtract_row(std::int32_t* acc, const short* row, std::size_t n) {
    HWY_DYNAMIC_DISPATCH(filter_rows_simd::subtract_row)(acc, row, n);
}

void box_mean(const std::int32_t* colsum, std::size_t kw, short* out, std::size_t n, double count) {
    HWY_DYNAMIC_DISPATCH(filter_rows_simd::box_mean)(colsum, kw, out, n, count);
}

}  // namespace toolkit::row_kernels
#endif  // HWY_ONCE
