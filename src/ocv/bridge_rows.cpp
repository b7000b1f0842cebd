#include "ocv/bridge_rows.h"

#include <algorithm>
#include <cstring>

#include "toolkit/vector_types.h"

namespace {

using namespace mist::vec;

typedef short v16s __attribute__((vector_size(32)));
typedef unsigned char v16u __attribute__((vector_size(16)));

MIST_VEC_INLINE v8s to_level(v8s y) {
    const v8s zero = {}, top = {4095, 4095, 4095, 4095, 4095, 4095, 4095, 4095};
    y = y < zero ? zero : y;
    y = y > top ? top : y;
    return y >> 4;
}

}  // namespace

MIST_VEC_INLINE void y_to_bytes_body(const PIXEL_YC* in, std::uint8_t* out, std::size_t n) {
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        v8s y0, y1, unused_b, unused_c;
        split3(&in[i].y, y0, unused_b, unused_c);
        split3(&in[i + 8].y, y1, unused_b, unused_c);
        const v16s y = __builtin_shufflevector(to_level(y0), to_level(y1), 0, 1, 2, 3, 4, 5, 6, 7,
                                               8, 9, 10, 11, 12, 13, 14, 15);
        const v16u b = __builtin_convertvector(y, v16u);
        std::memcpy(out + i, &b, 16);
    }
    for (; i < n; ++i) out[i] = static_cast<std::uint8_t>(std::clamp<int>(in[i].y, 0, 4095) >> 4);
}

MIST_DISPATCH(y_to_bytes, (const PIXEL_YC* in, std::uint8_t* out, std::size_t n), (in, out, n))

MIST_VEC_INLINE void bytes_to_mask_body(const std::uint8_t* in, PIXEL_YC* out, std::size_t n) {
    const v8s zero = {};
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        v16u b;
        std::memcpy(&b, in + i, 16);
        const v16s y = __builtin_convertvector(b, v16s) << 4;
        join3(&out[i].y, __builtin_shufflevector(y, y, 0, 1, 2, 3, 4, 5, 6, 7), zero, zero);
        join3(&out[i + 8].y, __builtin_shufflevector(y, y, 8, 9, 10, 11, 12, 13, 14, 15), zero,
              zero);
    }
    for (; i < n; ++i) out[i] = {static_cast<short>(in[i] * 16), 0, 0};
}

MIST_DISPATCH(bytes_to_mask, (const std::uint8_t* in, PIXEL_YC* out, std::size_t n), (in, out, n))
