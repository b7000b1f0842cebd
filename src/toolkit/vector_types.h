// Vector types, loads and run-time dispatch for the vectorised row loops
// (GCC vector extensions: the compiler lowers them to whatever the
// function's target offers).  For .cpp files only.
//
// A row loop is written once as an always-inlined NAME_body and given to
// MIST_DISPATCH, which compiles it twice, for AVX2 and for the baseline,
// and defines NAME to call the version the processor runs.  The choice is a
// plain test per call, not a loader feature, so it works on every platform
// and under every sanitizer.  FMA is deliberately not among the targets: a
// fused multiply-add would round differently from the separate multiply and
// add the filters define.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>

#include "toolkit/truncate.h"

// The helpers below pass 32-byte vectors by value; they are always inlined,
// so the calling convention for such vectors without AVX never applies.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace mist::vec {

// True when the processor runs AVX2 (asked once).
inline bool avx2_available() {
    static const bool yes = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return yes;
}

// Set by tests to run the baseline versions on any processor.
inline std::atomic<bool> baseline_only{false};

inline bool run_avx2() {
    return avx2_available() && !baseline_only.load(std::memory_order_relaxed);
}

}  // namespace mist::vec

#define MIST_DISPATCH(name, params, args)                                                \
    __attribute__((target("avx2"))) static void name##_avx2 params { name##_body args; } \
    static void name##_baseline params { name##_body args; }                             \
    void name params {                                                                   \
        if (::mist::vec::run_avx2())                                                     \
            name##_avx2 args;                                                            \
        else                                                                             \
            name##_baseline args;                                                        \
    }

namespace mist::vec {

typedef double v4d __attribute__((vector_size(32)));
typedef float v4f __attribute__((vector_size(16)));
typedef std::int32_t v4i __attribute__((vector_size(16)));
typedef std::int32_t v8i __attribute__((vector_size(32)));
typedef std::int64_t v4l __attribute__((vector_size(32)));
typedef short v4s __attribute__((vector_size(8)));
typedef short v8s __attribute__((vector_size(16)));
typedef char v16c __attribute__((vector_size(16)));

// Unaligned loads and stores (memcpy of a constant size compiles to one
// move).  Conversions go through 128- and 256-bit types only, which the
// compiler maps to single instructions (a 64-bit vector of four shorts
// would be taken apart element by element).
#define MIST_VEC_INLINE inline __attribute__((always_inline))

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

MIST_VEC_INLINE void store_s8(short* p, v8s v) { std::memcpy(p, &v, sizeof v); }
MIST_VEC_INLINE void store_f4(float* p, v4f v) { std::memcpy(p, &v, sizeof v); }
MIST_VEC_INLINE void store_d4(double* p, v4d v) { std::memcpy(p, &v, sizeof v); }

MIST_VEC_INLINE v4d low_half_d(v8i v) {
    return __builtin_convertvector(__builtin_shufflevector(v, v, 0, 1, 2, 3), v4d);
}

MIST_VEC_INLINE v4d high_half_d(v8i v) {
    return __builtin_convertvector(__builtin_shufflevector(v, v, 4, 5, 6, 7), v4d);
}

// Eight shorts as two vectors of four doubles.
MIST_VEC_INLINE void load_s8d(const short* p, v4d& lo, v4d& hi) {
    const v8i v = load_s8i(p);
    lo = low_half_d(v);
    hi = high_half_d(v);
}

// truncate_to_int on four lanes: NaN and values below the 32-bit range
// become -2^31 (whose low 16 bits, 0, are also NaN's), values above become
// 2^31 - 1; then truncation toward zero.
MIST_VEC_INLINE v4i truncate_int4(v4d v) {
    const v4d lo = {-2147483648.0, -2147483648.0, -2147483648.0, -2147483648.0};
    const v4d hi = {2147483647.0, 2147483647.0, 2147483647.0, 2147483647.0};
    v = v >= lo ? v : lo;
    v = v <= hi ? v : hi;
    return __builtin_convertvector(v, v4i);
}

// The low 16 bits of eight 32-bit lanes.
MIST_VEC_INLINE v8s low16(v8i v) { return __builtin_convertvector(v, v8s); }

// truncate_to_short on eight lanes given as two halves.
MIST_VEC_INLINE v8s truncate8(v4d lo, v4d hi) {
    const v4i a = truncate_int4(lo), b = truncate_int4(hi);
    return low16(__builtin_shufflevector(a, b, 0, 1, 2, 3, 4, 5, 6, 7));
}

// trunc(t / d) for integers |t| < 2^31 and 1 <= |d| <= 65535, given
// inverse = 1.0 / d: exactly what truncating the double quotient gives, at
// the cost of a multiplication.  t * inverse is within 2^-21 of t / d, and
// a quotient that is not an integer lies at least 1 / |d| >= 2^-16 from the
// nearest one; nudging the product 2^-18 away from zero therefore lands on
// the same side of every integer as the exact quotient, an exact integer
// quotient included.
MIST_VEC_INLINE v4d quotient_to_truncate(v4d t, double inverse) {
    const v4d q = t * inverse;
    const v4l sign = (v4l)q & (v4l){INT64_MIN, INT64_MIN, INT64_MIN, INT64_MIN};
    const v4d nudge = (v4d)(sign | (v4l)(v4d){0x1p-18, 0x1p-18, 0x1p-18, 0x1p-18});
    return q + nudge;
}

// The same for values known to be finite and inside the 32-bit range.
MIST_VEC_INLINE v8s truncate8_in_range(v4d lo, v4d hi) {
    const v4i a = __builtin_convertvector(lo, v4i), b = __builtin_convertvector(hi, v4i);
    return low16(__builtin_shufflevector(a, b, 0, 1, 2, 3, 4, 5, 6, 7));
}

// Eight pixels of three 16-bit components: the first, second and third
// components of each, and back.
MIST_VEC_INLINE void split3(const short* p, v8s& a, v8s& b, v8s& c) {
    v8s x, y, z;
    std::memcpy(&x, p, 16);
    std::memcpy(&y, p + 8, 16);
    std::memcpy(&z, p + 16, 16);
    const v8s a01 = __builtin_shufflevector(x, y, 0, 3, 6, 9, 12, 15, 0, 0);
    const v8s b01 = __builtin_shufflevector(x, y, 1, 4, 7, 10, 13, 0, 0, 0);
    const v8s c01 = __builtin_shufflevector(x, y, 2, 5, 8, 11, 14, 0, 0, 0);
    a = __builtin_shufflevector(a01, z, 0, 1, 2, 3, 4, 5, 10, 13);
    b = __builtin_shufflevector(b01, z, 0, 1, 2, 3, 4, 8, 11, 14);
    c = __builtin_shufflevector(c01, z, 0, 1, 2, 3, 4, 9, 12, 15);
}

MIST_VEC_INLINE void join3(short* p, v8s a, v8s b, v8s c) {
    const v8s ab0 = __builtin_shufflevector(a, b, 0, 8, 0, 1, 9, 0, 2, 10);
    const v8s x = __builtin_shufflevector(ab0, c, 0, 1, 8, 3, 4, 9, 6, 7);
    const v8s ab1 = __builtin_shufflevector(a, b, 0, 3, 11, 0, 4, 12, 0, 5);
    const v8s y = __builtin_shufflevector(ab1, c, 10, 1, 2, 11, 4, 5, 12, 7);
    const v8s ab2 = __builtin_shufflevector(a, b, 13, 0, 6, 14, 0, 7, 15, 0);
    const v8s z = __builtin_shufflevector(ab2, c, 0, 13, 2, 3, 14, 5, 6, 15);
    std::memcpy(p, &x, 16);
    std::memcpy(p + 8, &y, 16);
    std::memcpy(p + 16, &z, 16);
}

}  // namespace mist::vec
