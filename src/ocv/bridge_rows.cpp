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

static void y_to_bytes(const PIXEL_YC* in, std::uint8_t* out, std::size_t n) {
    short_steps(
        n,
        [&](auto d16, int i) {
            const hn::Rebind<std::uint8_t, decltype(d16)> d8;
            hn::Vec<decltype(d16)> y, cb, cr;
            load_pixels(d16, in + i, y, cb, cr);
            const auto level = hn::Min(hn::Max(y, hn::Zero(d16)), hn::Set(d16, 4095));
            hn::StoreU(hn::DemoteTo(d8, hn::ShiftRight<4>(level)), d8, out + i);
        },
        [&](int i) { out[i] = static_cast<std::uint8_t>(std::clamp<int>(in[i].y, 0, 4095) >> 4); });
}

static void bytes_to_mask(const std::uint8_t* in, PIXEL_YC* out, std::size_t n) {
    short_steps(
        n,
        [&](auto d16, int i) {
            const hn::Rebind<std::uint8_t, decltype(d16)> d8;
            store_grades(d16, hn::ShiftLeft<4>(hn::PromoteTo(d16, hn::LoadU(d8, in + i))), out + i);
        },
        [&](int i) {
            out[i] = {static_cast<short>(in[i] * 16), 0, 0};
        });
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
