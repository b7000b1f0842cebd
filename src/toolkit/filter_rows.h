// The inner loops of the convolution, Gaussian and box filters.
//
// Each works on a run of n flat elements (a row of RGB pixels seen as 3 x
// width components) and is vectorised across elements: every element gets
// exactly the operations, in exactly the order, that the filter defines for
// it, so results do not depend on the vector width.  The loops are compiled
// once per instruction set and each call runs the best one the processor
// has (Highway's run-time dispatch; no fused multiply-add).
#pragma once

#include <cstddef>
#include <cstdint>

namespace toolkit::row_kernels {

// Convolution: out[i] = low 16 bits of trunc(T / sum), or of trunc(T) when
// sum is 0, where T = 0 + w[0] * src[0][i] + w[1] * src[1][i] + ... in
// double, in tap order.  Truncation follows toolkit::truncate_to_int.
void convolve(const short* const* src, const double* w, std::size_t taps, short* out, std::size_t n,
              double sum);

// The same for integral weights whose absolute values sum to at most 65535:
// every partial sum is then an integer below 2^31, exact in 32 bits, and
// T / sum is formed in double exactly as above.
void convolve_integral(const short* const* src, const std::int32_t* w, std::size_t taps, short* out,
                       std::size_t n, std::int32_t sum);

// The most an integral kernel's absolute weights may sum to.
constexpr std::int64_t kIntegralWeightLimit = 65535;

// A Gaussian pass: out[i] = float(T), or float(T / divisor) when `divide`,
// with T = 0 + w[0] * src[0][i] + ... in double, in tap order.  The source
// lines are float values already widened to double.
void weighted_sum(const double* const* src, const double* w, std::size_t taps, float* out,
                  std::size_t n, bool divide, double divisor);

// out[i] = in[i], widened.
void widen(const float* in, double* out, std::size_t n);

// Column sums of the box filter: acc[i] += row[i], acc[i] -= row[i].
void add_row(std::int32_t* acc, const short* row, std::size_t n);
void subtract_row(std::int32_t* acc, const short* row, std::size_t n);

// Box means along a row of column sums, for narrow boxes: out[i] =
// trunc(B / count) in double, B = colsum[i] + colsum[i + 3] + ... +
// colsum[i + 3 (kw - 1)], the sum of kw column sums of one component.  The
// box sums must fit in 32 bits (they are then exact, as in double) and
// count may be at most 65535.
void box_mean(const std::int32_t* colsum, std::size_t kw, short* out, std::size_t n, double count);

}  // namespace toolkit::row_kernels
