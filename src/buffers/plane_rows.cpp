#include "buffers/plane_rows.h"

#include <cstring>

#include "buffers/numeric.h"
#include "buffers/pixel_format.h"
#include "toolkit/vector_types.h"

namespace {

using namespace mist::vec;

typedef float v8f __attribute__((vector_size(32)));

// Four pixels of three floats.
MIST_VEC_INLINE void split3f(const float* p, v4f& a, v4f& b, v4f& c) {
    v4f x, y, z;
    std::memcpy(&x, p, 16);
    std::memcpy(&y, p + 4, 16);
    std::memcpy(&z, p + 8, 16);
    const v4f a01 = __builtin_shufflevector(x, y, 0, 3, 6, 0);
    const v4f b01 = __builtin_shufflevector(x, y, 1, 4, 7, 0);
    const v4f c01 = __builtin_shufflevector(x, y, 2, 5, 0, 0);
    a = __builtin_shufflevector(a01, z, 0, 1, 2, 5);
    b = __builtin_shufflevector(b01, z, 0, 1, 2, 6);
    c = __builtin_shufflevector(c01, z, 0, 1, 4, 7);
}

MIST_VEC_INLINE void join3f(float* p, v4f a, v4f b, v4f c) {
    const v4f ab0 = __builtin_shufflevector(a, b, 0, 4, 0, 1);
    const v4f x = __builtin_shufflevector(ab0, c, 0, 1, 4, 3);
    const v4f ab1 = __builtin_shufflevector(a, b, 5, 0, 2, 6);
    const v4f y = __builtin_shufflevector(ab1, c, 0, 5, 2, 3);
    const v4f ab2 = __builtin_shufflevector(a, b, 0, 3, 7, 0);
    const v4f z = __builtin_shufflevector(ab2, c, 6, 1, 2, 7);
    std::memcpy(p, &x, 16);
    std::memcpy(p + 4, &y, 16);
    std::memcpy(p + 8, &z, 16);
}

MIST_VEC_INLINE v4d low4(v8s v) { return low_half_d(__builtin_convertvector(v, v8i)); }
MIST_VEC_INLINE v4d high4(v8s v) { return high_half_d(__builtin_convertvector(v, v8i)); }

// yc_to_rgb and rgb_to_yc on four lanes, in their operation order.
MIST_VEC_INLINE void to_rgb(v4d y, v4d cb, v4d cr, v4d& r, v4d& g, v4d& b) {
    r = cr * 1.402 + y;
    g = (y - cb * 0.344) - cr * 0.714;
    b = y + cb * 1.772;
}

MIST_VEC_INLINE void to_yc(v4d r, v4d g, v4d b, v4d& y, v4d& cb, v4d& cr) {
    y = (g * 0.587 + r * 0.299) + b * 0.114;
    cb = b * 0.5 - (r * 0.169 + g * 0.331);
    cr = (r * 0.5 - g * 0.419) - b * 0.081;
}

}  // namespace

// n pixels of three shorts (Y, Cb, Cr or R, G, B) through a conversion,
// Four on four lanes and One (its pixel_format.h form) on the pixels left
// at the end; results truncated toward zero, low 16 bits kept.  From 16-bit
// values with coefficients below 3 the results stay far inside the 32-bit
// range.
template <void (*Four)(v4d, v4d, v4d, v4d&, v4d&, v4d&), Triple (*One)(double, double, double)>
MIST_VEC_INLINE void convert_shorts(const short* in, short* out, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        v8s a, b, c;
        split3(in + 3 * i, a, b, c);
        v4d x0, y0, z0, x1, y1, z1;
        Four(low4(a), low4(b), low4(c), x0, y0, z0);
        Four(high4(a), high4(b), high4(c), x1, y1, z1);
        join3(out + 3 * i, truncate8_in_range(x0, x1), truncate8_in_range(y0, y1),
              truncate8_in_range(z0, z1));
    }
    for (; i < n; ++i) {
        const Triple t = One(in[3 * i], in[3 * i + 1], in[3 * i + 2]);
        out[3 * i] = to_component(t.a);
        out[3 * i + 1] = to_component(t.b);
        out[3 * i + 2] = to_component(t.c);
    }
}

MIST_VEC_INLINE void yc_to_rgb_row_body(const PIXEL_YC* in, mist::rgb<short>* out, std::size_t n) {
    convert_shorts<to_rgb, yc_to_rgb>(reinterpret_cast<const short*>(in),
                                      reinterpret_cast<short*>(out), n);
}

MIST_DISPATCH(yc_to_rgb_row, (const PIXEL_YC* in, mist::rgb<short>* out, std::size_t n),
              (in, out, n))

MIST_VEC_INLINE void yc_to_rgbf_row_body(const PIXEL_YC* in, mist::rgb<float>* out, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        v8s y, cb, cr;
        split3(&in[i].y, y, cb, cr);
        v4d r0, g0, b0, r1, g1, b1;
        to_rgb(low4(y), low4(cb), low4(cr), r0, g0, b0);
        to_rgb(high4(y), high4(cb), high4(cr), r1, g1, b1);
        join3f(&out[i].r, __builtin_convertvector(r0, v4f), __builtin_convertvector(g0, v4f),
               __builtin_convertvector(b0, v4f));
        join3f(&out[i + 4].r, __builtin_convertvector(r1, v4f), __builtin_convertvector(g1, v4f),
               __builtin_convertvector(b1, v4f));
    }
    for (; i < n; ++i) {
        const Triple t = yc_to_rgb(in[i].y, in[i].cb, in[i].cr);
        out[i] = {static_cast<float>(t.a), static_cast<float>(t.b), static_cast<float>(t.c)};
    }
}

MIST_DISPATCH(yc_to_rgbf_row, (const PIXEL_YC* in, mist::rgb<float>* out, std::size_t n),
              (in, out, n))

MIST_VEC_INLINE void rgb_to_yc_row_body(const mist::rgb<short>* in, PIXEL_YC* out, std::size_t n) {
    convert_shorts<to_yc, rgb_to_yc>(reinterpret_cast<const short*>(in),
                                     reinterpret_cast<short*>(out), n);
}

MIST_DISPATCH(rgb_to_yc_row, (const mist::rgb<short>* in, PIXEL_YC* out, std::size_t n),
              (in, out, n))

MIST_VEC_INLINE void rgbf_to_yc_row_body(const mist::rgb<float>* in, PIXEL_YC* out, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        v4f r0, g0, b0, r1, g1, b1;
        split3f(&in[i].r, r0, g0, b0);
        split3f(&in[i + 4].r, r1, g1, b1);
        v4d y0, cb0, cr0, y1, cb1, cr1;
        to_yc(__builtin_convertvector(r0, v4d), __builtin_convertvector(g0, v4d),
              __builtin_convertvector(b0, v4d), y0, cb0, cr0);
        to_yc(__builtin_convertvector(r1, v4d), __builtin_convertvector(g1, v4d),
              __builtin_convertvector(b1, v4d), y1, cb1, cr1);
        join3(&out[i].y, truncate8(y0, y1), truncate8(cb0, cb1), truncate8(cr0, cr1));
    }
    for (; i < n; ++i) {
        const Triple t = rgb_to_yc(in[i].r, in[i].g, in[i].b);
        out[i] = {to_component(t.a), to_component(t.b), to_component(t.c)};
    }
}

MIST_DISPATCH(rgbf_to_yc_row, (const mist::rgb<float>* in, PIXEL_YC* out, std::size_t n),
              (in, out, n))

// The Y copies of the work plane carry most of the time of the light
// filters (morphology, labelling), so they too take eight pixels at a time.
MIST_VEC_INLINE void y_of_row_body(const PIXEL_YC* in, short* out, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        v8s y, cb, cr;
        split3(&in[i].y, y, cb, cr);
        store_s8(out + i, y);
    }
    for (; i < n; ++i) out[i] = in[i].y;
}

MIST_DISPATCH(y_of_row, (const PIXEL_YC* in, short* out, std::size_t n), (in, out, n))

MIST_VEC_INLINE void y_into_row_body(const short* in, PIXEL_YC* out, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        v8s y, cb, cr;
        split3(&out[i].y, y, cb, cr);
        std::memcpy(&y, in + i, sizeof y);
        join3(&out[i].y, y, cb, cr);
    }
    for (; i < n; ++i) out[i].y = in[i];
}

MIST_DISPATCH(y_into_row, (const short* in, PIXEL_YC* out, std::size_t n), (in, out, n))
