#include "toolkit/filter_rows.h"

#include <cstring>

#include "toolkit/truncate.h"
#include "toolkit/vector_types.h"

namespace mist::rows {

MIST_VEC_INLINE void convolve_body(const short* const* src, const double* w, std::size_t taps,
                                   short* out, std::size_t n, double sum) {
    using namespace vec;
    const bool divide = sum != 0;
    std::size_t i = 0;
    // Sixteen elements at a time in four independent accumulators, so that
    // the additions of one element, which must stay in tap order, overlap
    // with those of the others.
    for (; i + 16 <= n; i += 16) {
        v4d a0{}, a1{}, a2{}, a3{};
        for (std::size_t t = 0; t < taps; ++t) {
            const short* s = src[t] + i;
            const double wt = w[t];
            v4d x0, x1, x2, x3;
            load_s8d(s, x0, x1);
            load_s8d(s + 8, x2, x3);
            a0 += wt * x0;
            a1 += wt * x1;
            a2 += wt * x2;
            a3 += wt * x3;
        }
        if (divide) {
            a0 /= sum;
            a1 /= sum;
            a2 /= sum;
            a3 /= sum;
        }
        store_s8(out + i, truncate8(a0, a1));
        store_s8(out + i + 8, truncate8(a2, a3));
    }
    for (; i < n; ++i) {
        double T = 0;
        for (std::size_t t = 0; t < taps; ++t) T += w[t] * src[t][i];
        out[i] = truncate_to_short(divide ? T / sum : T);
    }
}

MIST_DISPATCH(convolve,
              (const short* const* src, const double* w, std::size_t taps, short* out,
               std::size_t n, double sum),
              (src, w, taps, out, n, sum))

MIST_VEC_INLINE void convolve_integral_body(const short* const* src, const std::int32_t* w,
                                            std::size_t taps, short* out, std::size_t n,
                                            std::int32_t sum) {
    using namespace vec;
    const double divisor = sum, inverse = 1.0 / divisor;
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        v8i a[4] = {};
        for (std::size_t t = 0; t < taps; ++t) {
            const short* s = src[t] + i;
            const std::int32_t wt = w[t];
            for (int k = 0; k < 4; ++k) a[k] += wt * load_s8i(s + 8 * k);
        }
        for (int k = 0; k < 4; ++k) {
            if (sum != 0)  // trunc(T / S) of two exact integers, as in double
                store_s8(out + i + 8 * k,
                         truncate8_in_range(quotient_to_truncate(low_half_d(a[k]), inverse),
                                            quotient_to_truncate(high_half_d(a[k]), inverse)));
            else
                store_s8(out + i + 8 * k, low16(a[k]));
        }
    }
    for (; i < n; ++i) {
        std::int32_t T = 0;
        for (std::size_t t = 0; t < taps; ++t) T += w[t] * src[t][i];
        out[i] = sum != 0 ? truncate_to_short(T / divisor)
                          : static_cast<short>(static_cast<std::uint16_t>(T));
    }
}

MIST_DISPATCH(convolve_integral,
              (const short* const* src, const std::int32_t* w, std::size_t taps, short* out,
               std::size_t n, std::int32_t sum),
              (src, w, taps, out, n, sum))

MIST_VEC_INLINE void weighted_sum_body(const double* const* src, const double* w, std::size_t taps,
                                       float* out, std::size_t n, bool divide, double divisor) {
    using namespace vec;
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        v4d a0{}, a1{}, a2{}, a3{};
        for (std::size_t t = 0; t < taps; ++t) {
            const double* s = src[t] + i;
            const double wt = w[t];
            a0 += wt * load_d4(s);
            a1 += wt * load_d4(s + 4);
            a2 += wt * load_d4(s + 8);
            a3 += wt * load_d4(s + 12);
        }
        if (divide) {
            a0 /= divisor;
            a1 /= divisor;
            a2 /= divisor;
            a3 /= divisor;
        }
        store_f4(out + i, __builtin_convertvector(a0, v4f));
        store_f4(out + i + 4, __builtin_convertvector(a1, v4f));
        store_f4(out + i + 8, __builtin_convertvector(a2, v4f));
        store_f4(out + i + 12, __builtin_convertvector(a3, v4f));
    }
    for (; i + 4 <= n; i += 4) {
        v4d a{};
        for (std::size_t t = 0; t < taps; ++t) a += w[t] * load_d4(src[t] + i);
        if (divide) a /= divisor;
        store_f4(out + i, __builtin_convertvector(a, v4f));
    }
    for (; i < n; ++i) {
        double T = 0;
        for (std::size_t t = 0; t < taps; ++t) T += w[t] * src[t][i];
        out[i] = static_cast<float>(divide ? T / divisor : T);
    }
}

MIST_DISPATCH(weighted_sum,
              (const double* const* src, const double* w, std::size_t taps, float* out,
               std::size_t n, bool divide, double divisor),
              (src, w, taps, out, n, divide, divisor))

MIST_VEC_INLINE void widen_body(const float* __restrict in, double* __restrict out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = in[i];
}

MIST_DISPATCH(widen, (const float* __restrict in, double* __restrict out, std::size_t n),
              (in, out, n))

MIST_VEC_INLINE void add_row_body(std::int32_t* __restrict acc, const short* __restrict row,
                                  std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) acc[i] += row[i];
}

MIST_DISPATCH(add_row, (std::int32_t* __restrict acc, const short* __restrict row, std::size_t n),
              (acc, row, n))

MIST_VEC_INLINE void subtract_row_body(std::int32_t* __restrict acc, const short* __restrict row,
                                       std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) acc[i] -= row[i];
}

MIST_DISPATCH(subtract_row,
              (std::int32_t* __restrict acc, const short* __restrict row, std::size_t n),
              (acc, row, n))

MIST_VEC_INLINE void box_mean_body(const std::int32_t* colsum, std::size_t kw, short* out,
                                   std::size_t n, double count) {
    using namespace vec;
    const double inverse = 1.0 / count;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        v8i b = load_i8(colsum + i);
        for (std::size_t m = 1; m < kw; ++m) b += load_i8(colsum + i + 3 * m);
        store_s8(out + i, truncate8_in_range(quotient_to_truncate(low_half_d(b), inverse),
                                             quotient_to_truncate(high_half_d(b), inverse)));
    }
    for (; i < n; ++i) {
        std::int32_t b = 0;
        for (std::size_t m = 0; m < kw; ++m) b += colsum[i + 3 * m];
        out[i] = truncate_to_short(b / count);
    }
}

MIST_DISPATCH(box_mean,
              (const std::int32_t* colsum, std::size_t kw, short* out, std::size_t n, double count),
              (colsum, kw, out, n, count))

}  // namespace mist::rows
