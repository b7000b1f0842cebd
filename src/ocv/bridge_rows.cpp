// The pixel copies of cvcanny, compiled once per instruction set and chosen
// at run time (Highway), whole vectors of pixels at a time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "ocv/bridge_rows.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>

#include "buffers/pixel_simd-inl.h"
#include "ocv/bridge_rows.h"

HWY_BEFORE_NAMESPACE();
namespace bridge_rows_simd {
namespace HWY_NAMESPACE {

using namespace pixel_simd::HWY_NAMESPACE;  // and its alias hn

using ShortTag = hn::ScalableTag<std::int16_t>;
using ByteTag = hn::Rebind<std::uint8_t, ShortTag>;

static void y_to_bytes(const PIXEL_YC* in, std::uint8_t* out, std::size_t n) {
    const ShortTag d16;
    const auto zero = hn::Zero(d16), top = hn::Set(d16, 4095);
    row_steps(
        static_cast<int>(n), static_cast<int>(hn::Lanes(d16)),
        [&](int i) {
            hn::Vec<ShortTag> y, cb, cr;
            load_pixels(d16, in + i, y, cb, cr);
            const auto level = hn::ShiftRight<4>(hn::Min(hn::Max(y, zero), top));
            hn::StoreU(hn::DemoteTo(ByteTag(), level), ByteTag(), out + i);
        },
        [&](int i) { out[i] = static_cast<std::uint8_t>(std::clamp<int>(in[i].y, 0, 4095) >> 4); });
}

static void bytes_to_mask(const std::uint8_t* in, PIXEL_YC* out, std::size_t n) {
    const ShortTag d16;
    row_steps(
        static_cast<int>(n), static_cast<int>(hn::Lanes(d16)),
        [&](int i) {
            const auto y = hn::ShiftLeft<4>(hn::PromoteTo(d16, hn::LoadU(ByteTag(), in + i)));
            store_grades(d16, y, out + i);
        },
        [&](int i) { out[i] = {static_cast<short>(in[i] * 16), 0, 0}; });
}

}  // namespace HWY_NAMESPACE
}  // namespace bridge_rows_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace bridge_rows_simd {
HWY_EXPORT(y_to_bytes);
HWY_EXPORT(bytes_to_mask);
}  // namespace bridge_rows_simd

void y_to_bytes(const PIXEL_YC* in, std::uint8_t* out, std::size_t n) {
    HWY_DYNAMIC_DISPATCH(bridge_rows_simd::y_to_bytes)(in, out, n);
}

void bytes_to_mask(const std::uint8_t* in, PIXEL_YC* out, std::size_t n) {
    HWY_DYNAMIC_DISPATCH(bridge_rows_simd::bytes_to_mask)(in, out, n);
}
#endif  // HWY_ONCE
