// Vector types and loads for the toolkit's vectorised row loops (GCC vector
// extensions: the compiler lowers them to whatever the function's target
// offers).  Only for .cpp files whose functions are marked
// MIST_VECTOR_CLONES: each such function is compiled once for AVX2 and once
// for the baseline, and the loader picks the version the processor runs.
// FMA is deliberately not among the targets: a fused multiply-add would
// round differently from the separate multiply and add the filters define.
#pragma once

#include <cstdint>
#include <cstring>

#include "toolkit/truncate.h"

// The helpers below pass 32-byte vectors by value; they are always inlined,
// so the calling convention for such vectors without AVX never applies.
#pragma GCC diagnostic ignored "-Wpsabi"

#define MIST_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))

namespace mist::vec {

typedef double v4d __attribute__((vector_size(32)));
typedef float v4f __attribute__((vector_size(16)));
typedef std::int32_t v4i __attribute__((vector_size(16)));
typedef std::int32_t v8i __attribute__((vector_size(32)));
typedef std::int64_t v4l __attribute__((vector_size(32)));
typedef short v4s __attribute__((vector_size(8)));
typedef short v8s __attribute__((vector_size(16)));

// Unaligned loads and stores (memcpy of a constant size compiles to one
// move).
#define MIST_VEC_INLINE inline __attribute__((always_inline))

MIST_VEC_INLINE v4d load_s4d(const short* p) {
    v4s s;
    std::memcpy(&s, p, sizeof s);
    return __builtin_convertvector(s, v4d);
}

MIST_VEC_INLINE v8i load_s8i(const short* p) {
    v8s s;
    std::memcpy(&s, p, sizeof s);
    return __builtin_convertvector(s, v8i);
}

MIST_VEC_INLINE v8i load_i8(const std::int32_t* p) {
    v8i v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

MIST_VEC_INLINE v4d load_f4d(const float* p) {
    v4f f;
    std::memcpy(&f, p, sizeof f);
    return __builtin_convertvector(f, v4d);
}

MIST_VEC_INLINE v4d load_d4(const double* p) {
    v4d v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

MIST_VEC_INLINE void store_s4(short* p, v4s v) { std::memcpy(p, &v, sizeof v); }
MIST_VEC_INLINE void store_s8(short* p, v8s v) { std::memcpy(p, &v, sizeof v); }
MIST_VEC_INLINE void store_f4(float* p, v4f v) { std::memcpy(p, &v, sizeof v); }
MIST_VEC_INLINE void store_d4(double* p, v4d v) { std::memcpy(p, &v, sizeof v); }

MIST_VEC_INLINE v4d low_half_d(v8i v) {
    const v4i h = {v[0], v[1], v[2], v[3]};
    return __builtin_convertvector(h, v4d);
}

MIST_VEC_INLINE v4d high_half_d(v8i v) {
    const v4i h = {v[4], v[5], v[6], v[7]};
    return __builtin_convertvector(h, v4d);
}

// truncate_to_short on four lanes: NaN and values below the 32-bit range
// become -2^31 (whose low 16 bits, 0, are also NaN's), values above become
// 2^31 - 1; then truncation toward zero and the low 16 bits.
MIST_VEC_INLINE v4s truncate4(v4d v) {
    const v4d lo = {-2147483648.0, -2147483648.0, -2147483648.0, -2147483648.0};
    const v4d hi = {2147483647.0, 2147483647.0, 2147483647.0, 2147483647.0};
    v = v >= lo ? v : lo;
    v = v <= hi ? v : hi;
    return __builtin_convertvector(__builtin_convertvector(v, v4i), v4s);
}

}  // namespace mist::vec
