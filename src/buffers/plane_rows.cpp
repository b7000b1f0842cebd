// Y rows in and out of pixel rows: three planes are loaded de-interleaved,
// y is taken or replaced, and (when storing) the three are written back.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "buffers/plane_rows.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <cstdint>

#include "buffers/plane_rows.h"

HWY_BEFORE_NAMESPACE();
namespace plane_rows {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

static void load_y(const PIXEL_YC* in, short* out, int n) {
    const hn::ScalableTag<std::int16_t> d;
    const int N = static_cast<int>(hn::Lanes(d));
    int i = 0;
    for (; i + N <= n; i += N) {
        hn::Vec<decltype(d)> y, cb, cr;
        hn::LoadInterleaved3(d, reinterpret_cast<const std::int16_t*>(in + i), y, cb, cr);
        hn::StoreU(y, d, out + i);
    }
    for (; i < n; ++i) out[i] = in[i].y;
}

static void store_y(const short* in, PIXEL_YC* out, int n) {
    const hn::ScalableTag<std::int16_t> d;
    const int N = static_cast<int>(hn::Lanes(d));
    int i = 0;
    for (; i + N <= n; i += N) {
        hn::Vec<decltype(d)> y, cb, cr;
        auto* p = reinterpret_cast<std::int16_t*>(out + i);
        hn::LoadInterleaved3(d, p, y, cb, cr);
        hn::StoreInterleaved3(hn::LoadU(d, in + i), cb, cr, d, p);
    }
    for (; i < n; ++i) out[i].y = in[i];
}

}  // namespace HWY_NAMESPACE
}  // namespace plane_rows
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace plane_rows {
HWY_EXPORT(load_y);
HWY_EXPORT(store_y);
}  // namespace plane_rows

void load_y_row(const PIXEL_YC* in, short* out, int n) {
    HWY_DYNAMIC_DISPATCH(plane_rows::load_y)(in, out, n);
}

void store_y_row(const short* in, PIXEL_YC* out, int n) {
    HWY_DYNAMIC_DISPATCH(plane_rows::store_y)(in, out, n);
}
#endif  // HWY_ONCE
