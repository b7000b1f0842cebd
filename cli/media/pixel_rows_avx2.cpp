// The hot rows of pixel_convert.cpp for 8-bit limited-range video, written
// with AVX2 intrinsics (chosen at run time when the processor has AVX2):
// 4:2:0 or 4:2:2 samples to editor pixels, editor pixels to 4:2:0, and
// editor pixels to 8-bit RGB (PNG).
// They compute exactly what the plain loops compute.
#include "media/pixel_rows.h"

#if defined(__x86_64__)
#include <immintrin.h>

#include <cstring>

#define AVX2 __attribute__((target("avx2")))

namespace {

// pshufb masks that interleave eight Y, eight Cb and eight Cr words into
// three vectors of pixels (y cb cr y cb cr ...), and the masks that take
// them apart again.  -1 bytes become zero.
struct Masks {
    alignas(16) std::int8_t put[3][3][16];   // [output vector][component]
    alignas(16) std::int8_t take[3][3][16];  // [component][input vector]
    Masks() {
        std::memset(put, -1, sizeof put);
        std::memset(take, -1, sizeof take);
        for (int word = 0; word < 24; ++word) {
            const int vec = word / 8, at = word % 8, pixel = word / 3, component = word % 3;
            for (int b = 0; b < 2; ++b) {
                put[vec][component][2 * at + b] = static_cast<std::int8_t>(2 * pixel + b);
                take[component][vec][2 * pixel + b] = static_cast<std::int8_t>(2 * at + b);
            }
        }
    }
};
const Masks masks;

// pshufb masks that interleave eight R, G and B bytes (R and G in one
// vector, B in another) into 24 bytes r g b r g b ...: [output vector][source].
struct RgbMasks {
    alignas(16) std::int8_t put[2][2][16];
    RgbMasks() {
        std::memset(put, -1, sizeof put);
        for (int byte = 0; byte < 24; ++byte) {
            const int pixel = byte / 3, component = byte % 3;
            if (component < 2)
                put[byte / 16][0][byte % 16] = static_cast<std::int8_t>(8 * component + pixel);
            else
                put[byte / 16][1][byte % 16] = static_cast<std::int8_t>(pixel);
        }
    }
};
const RgbMasks rgb_masks;

AVX2 inline __m128i mask(const std::int8_t* m) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(m));
}

// Eight pixels from eight words of each component.
AVX2 inline void store_pixels(PIXEL_YC* d, __m128i y, __m128i cb, __m128i cr) {
    const __m128i c[3] = {y, cb, cr};
    for (int v = 0; v < 3; ++v) {
        const __m128i out =
            _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(c[0], mask(masks.put[v][0])),
                                      _mm_shuffle_epi8(c[1], mask(masks.put[v][1]))),
                         _mm_shuffle_epi8(c[2], mask(masks.put[v][2])));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d) + v, out);
    }
}

// One component of eight pixels as eight words.
AVX2 inline __m128i take(const __m128i in[3], int component) {
    return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(in[0], mask(masks.take[component][0])),
                                     _mm_shuffle_epi8(in[1], mask(masks.take[component][1]))),
                        _mm_shuffle_epi8(in[2], mask(masks.take[component][2])));
}

AVX2 inline void load_pixels(const PIXEL_YC* s, __m128i in[3]) {
    for (int v = 0; v < 3; ++v) in[v] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s) + v);
}

// ((y8 * 1197) >> 6) - 299 for sixteen samples: 1197/64 = (64 * 19152)/65536.
AVX2 inline __m256i luma_in(__m128i bytes) {
    const __m256i v = _mm256_cvtepu8_epi16(bytes);
    return _mm256_sub_epi16(_mm256_mulhi_epu16(_mm256_slli_epi16(v, 6), _mm256_set1_epi16(19152)),
                            _mm256_set1_epi16(299));
}

// ((c8 - 128) * 4681 + 164) >> 8 for sixteen samples, through pairs
// (c - 128, 1) . (4681, 164).
AVX2 inline __m256i chroma_in(__m128i bytes) {
    const __m256i d = _mm256_sub_epi16(_mm256_cvtepu8_epi16(bytes), _mm256_set1_epi16(128));
    const __m256i ones = _mm256_set1_epi16(1), k = _mm256_set1_epi32(4681 | (164 << 16));
    const __m256i lo = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(d, ones), k), 8);
    const __m256i hi = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(d, ones), k), 8);
    return _mm256_packs_epi32(lo, hi);  // in-lane unpack and pack keep the order
}

// ((y * 219 + 383) >> 12) + 16, clamped to a byte, for eight pixels' Y.
AVX2 inline __m128i luma_out(__m128i y) {
    const __m128i ones = _mm_set1_epi16(1), k = _mm_set1_epi32(219 | (383 << 16));
    const __m128i lo = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(y, ones), k), 12);
    const __m128i hi = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(y, ones), k), 12);
    return _mm_adds_epi16(_mm_packs_epi32(lo, hi), _mm_set1_epi16(16));
}

// The floor of the mean of four chroma words (two pairs of two rows), then
// (((c + 2048) * 224 + 2112) >> 12) + 16: four results as int32.
AVX2 inline __m128i chroma_out(__m128i a, __m128i b) {
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i sum = _mm_add_epi32(_mm_madd_epi16(a, ones), _mm_madd_epi16(b, ones));
    const __m128i mean = _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(2)), 2);
    const __m128i scaled =
        _mm_mullo_epi32(_mm_add_epi32(mean, _mm_set1_epi32(2048)), _mm_set1_epi32(224));
    return _mm_add_epi32(_mm_srai_epi32(_mm_add_epi32(scaled, _mm_set1_epi32(2112)), 12),
                         _mm_set1_epi32(16));
}

// round(v * 255 / 4096) as std::round does it (halves away from zero),
// limited to 0..255, for four doubles: four int32.
AVX2 inline __m128i rgb_byte(__m256d v) {
    const __m256d t =
        _mm256_div_pd(_mm256_mul_pd(v, _mm256_set1_pd(255.0)), _mm256_set1_pd(4096.0));
    const __m256d whole = _mm256_round_pd(t, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m256d sign = _mm256_and_pd(t, _mm256_set1_pd(-0.0));
    const __m256d fraction = _mm256_andnot_pd(_mm256_set1_pd(-0.0), _mm256_sub_pd(t, whole));
    const __m256d away = _mm256_cmp_pd(fraction, _mm256_set1_pd(0.5), _CMP_GE_OQ);
    const __m256d step = _mm256_and_pd(away, _mm256_or_pd(sign, _mm256_set1_pd(1.0)));
    const __m256d rounded = _mm256_add_pd(whole, step);
    const __m256d limited =
        _mm256_min_pd(_mm256_max_pd(rounded, _mm256_setzero_pd()), _mm256_set1_pd(255.0));
    return _mm256_cvttpd_epi32(limited);
}

// R, G and B (pixel_format.h's yc_to_rgb, same operations in the same
// order) of four pixels whose components are in the low four words.
AVX2 inline void rgb_of(__m128i y, __m128i cb, __m128i cr, __m128i out[3]) {
    const __m256d fy = _mm256_cvtepi32_pd(_mm_cvtepi16_epi32(y));
    const __m256d fcb = _mm256_cvtepi32_pd(_mm_cvtepi16_epi32(cb));
    const __m256d fcr = _mm256_cvtepi32_pd(_mm_cvtepi16_epi32(cr));
    out[0] = rgb_byte(_mm256_add_pd(_mm256_mul_pd(fcr, _mm256_set1_pd(1.402)), fy));
    out[1] = rgb_byte(_mm256_sub_pd(_mm256_sub_pd(fy, _mm256_mul_pd(fcb, _mm256_set1_pd(0.344))),
                                    _mm256_mul_pd(fcr, _mm256_set1_pd(0.714))));
    out[2] = rgb_byte(_mm256_add_pd(fy, _mm256_mul_pd(fcb, _mm256_set1_pd(1.772))));
}

// Output vector v (bytes 0..15, or 16..23 in the low half) of the 24 bytes
// r g b r g b ... of eight pixels.
AVX2 inline __m128i interleave_rgb(__m128i rg, __m128i b, int v) {
    return _mm_or_si128(_mm_shuffle_epi8(rg, mask(rgb_masks.put[v][0])),
                        _mm_shuffle_epi8(b, mask(rgb_masks.put[v][1])));
}

}  // namespace

namespace pixel_rows {

bool have_avx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}

AVX2 int in_422_u8(const std::uint8_t* py, const std::uint8_t* pu, const std::uint8_t* pv, int w,
                   PIXEL_YC* d) {
    int x = 0;
    for (; x + 16 <= w; x += 16) {
        const __m256i y = luma_in(_mm_loadu_si128(reinterpret_cast<const __m128i*>(py + x)));
        std::uint64_t u8 = 0, v8 = 0;
        std::memcpy(&u8, pu + x / 2, 8);
        std::memcpy(&v8, pv + x / 2, 8);
        const __m256i c =
            chroma_in(_mm_set_epi64x(static_cast<long long>(v8), static_cast<long long>(u8)));
        const __m128i u = _mm256_castsi256_si128(c), v = _mm256_extracti128_si256(c, 1);
        // Each chroma word serves two pixels.
        store_pixels(d + x, _mm256_castsi256_si128(y), _mm_unpacklo_epi16(u, u),
                     _mm_unpacklo_epi16(v, v));
        store_pixels(d + x + 8, _mm256_extracti128_si256(y, 1), _mm_unpackhi_epi16(u, u),
                     _mm_unpackhi_epi16(v, v));
    }
    return x;
}

AVX2 int in_444_u8(const std::uint8_t* py, const std::uint8_t* pu, const std::uint8_t* pv, int w,
                   PIXEL_YC* d) {
    int x = 0;
    for (; x + 16 <= w; x += 16) {
        const __m256i y = luma_in(_mm_loadu_si128(reinterpret_cast<const __m128i*>(py + x)));
        const __m256i u = chroma_in(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pu + x)));
        const __m256i v = chroma_in(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pv + x)));
        store_pixels(d + x, _mm256_castsi256_si128(y), _mm256_castsi256_si128(u),
                     _mm256_castsi256_si128(v));
        store_pixels(d + x + 8, _mm256_extracti128_si256(y, 1), _mm256_extracti128_si256(u, 1),
                     _mm256_extracti128_si256(v, 1));
    }
    return x;
}

AVX2 int out_luma_u8(const PIXEL_YC* s, int w, std::uint8_t* py) {
    int x = 0;
    __m128i in[3];
    for (; x + 16 <= w; x += 16) {
        load_pixels(s + x, in);
        const __m128i a = luma_out(take(in, 0));
        load_pixels(s + x + 8, in);
        const __m128i b = luma_out(take(in, 0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(py + x), _mm_packus_epi16(a, b));
    }
    return x;
}

AVX2 int out_444_u8(const PIXEL_YC* s, int w, std::uint8_t* py, std::uint8_t* pu,
                    std::uint8_t* pv) {
    int x = 0;
    __m128i in[3];
    for (; x + 16 <= w; x += 16) {
        load_pixels(s + x, in);
        const __m128i y0 = luma_out(take(in, 0)), u0 = take(in, 1), v0 = take(in, 2);
        load_pixels(s + x + 8, in);
        const __m128i y1 = luma_out(take(in, 0)), u1 = take(in, 1), v1 = take(in, 2);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(py + x), _mm_packus_epi16(y0, y1));
        // One chroma word alone is a mean of four equal words.
        const auto chroma = [](__m128i c0, __m128i c1) {
            const __m128i lo = chroma_out(_mm_unpacklo_epi16(c0, c0), _mm_unpacklo_epi16(c0, c0));
            const __m128i hi = chroma_out(_mm_unpackhi_epi16(c0, c0), _mm_unpackhi_epi16(c0, c0));
            const __m128i lo1 = chroma_out(_mm_unpacklo_epi16(c1, c1), _mm_unpacklo_epi16(c1, c1));
            const __m128i hi1 = chroma_out(_mm_unpackhi_epi16(c1, c1), _mm_unpackhi_epi16(c1, c1));
            return _mm_packus_epi16(_mm_packs_epi32(lo, hi), _mm_packs_epi32(lo1, hi1));
        };
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pu + x), chroma(u0, u1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pv + x), chroma(v0, v1));
    }
    return x;
}

AVX2 int out_420_u8(const PIXEL_YC* a, const PIXEL_YC* b, int w, std::uint8_t* ya, std::uint8_t* yb,
                    std::uint8_t* pu, std::uint8_t* pv) {
    int x = 0;
    __m128i in_a[3], in_b[3];
    // Sixteen pixels of each row: their luma, and eight chroma samples of
    // each plane, in one pass over the pixels.
    for (; x + 16 <= w; x += 16) {
        __m128i u[2], v[2], la[2], lb[2];
        for (int half = 0; half < 2; ++half) {
            load_pixels(a + x + 8 * half, in_a);
            load_pixels(b + x + 8 * half, in_b);
            la[half] = luma_out(take(in_a, 0));
            lb[half] = luma_out(take(in_b, 0));
            u[half] = chroma_out(take(in_a, 1), take(in_b, 1));
            v[half] = chroma_out(take(in_a, 2), take(in_b, 2));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(ya + x), _mm_packus_epi16(la[0], la[1]));
        if (yb != ya)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(yb + x), _mm_packus_epi16(lb[0], lb[1]));
        const __m128i uu = _mm_packus_epi16(_mm_packs_epi32(u[0], u[1]), _mm_setzero_si128());
        const __m128i vv = _mm_packus_epi16(_mm_packs_epi32(v[0], v[1]), _mm_setzero_si128());
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pu + x / 2), uu);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pv + x / 2), vv);
    }
    return x;
}

AVX2 int out_rgb24(const PIXEL_YC* s, int w, std::uint8_t* rgb) {
    int x = 0;
    __m128i in[3];
    for (; x + 8 <= w; x += 8) {
        load_pixels(s + x, in);
        const __m128i y = take(in, 0), cb = take(in, 1), cr = take(in, 2);
        __m128i lo[3], hi[3];
        rgb_of(y, cb, cr, lo);
        rgb_of(_mm_srli_si128(y, 8), _mm_srli_si128(cb, 8), _mm_srli_si128(cr, 8), hi);
        // Bytes r0..r7 g0..g7, and b0..b7.
        const __m128i rg =
            _mm_packus_epi16(_mm_packs_epi32(lo[0], hi[0]), _mm_packs_epi32(lo[1], hi[1]));
        const __m128i b = _mm_packus_epi16(_mm_packs_epi32(lo[2], hi[2]), _mm_setzero_si128());
        _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb + 3 * x), interleave_rgb(rg, b, 0));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(rgb + 3 * x + 16), interleave_rgb(rg, b, 1));
    }
    return x;
}

}  // namespace pixel_rows

#else

namespace pixel_rows {
bool have_avx2() { return false; }
int in_422_u8(const std::uint8_t*, const std::uint8_t*, const std::uint8_t*, int, PIXEL_YC*) {
    return 0;
}
int in_444_u8(const std::uint8_t*, const std::uint8_t*, const std::uint8_t*, int, PIXEL_YC*) {
    return 0;
}
int out_luma_u8(const PIXEL_YC*, int, std::uint8_t*) { return 0; }
int out_444_u8(const PIXEL_YC*, int, std::uint8_t*, std::uint8_t*, std::uint8_t*) { return 0; }
int out_420_u8(const PIXEL_YC*, const PIXEL_YC*, int, std::uint8_t*, std::uint8_t*, std::uint8_t*,
               std::uint8_t*) {
    return 0;
}
int out_rgb24(const PIXEL_YC*, int, std::uint8_t*) { return 0; }
}  // namespace pixel_rows

#endif
