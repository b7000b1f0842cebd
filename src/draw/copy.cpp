// The keyed and masked copies behind copy.
//
// The row loops are vector code compiled for each instruction set and
// chosen at run time (Highway): a step of pixels is loaded, the key test
// picks source or destination per pixel, and the step is stored whole.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "draw/copy.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "buffers/pixel_simd-inl.h"
#include "buffers/rows.h"
#include "draw/copy.h"

HWY_BEFORE_NAMESPACE();
namespace copy_simd {
namespace HWY_NAMESPACE {

using namespace pixel_simd::HWY_NAMESPACE;  // and its alias hn

// D = S where K.y > key, K being the source itself or the mask.
static void copy_row_keyed(const PIXEL_YC* s, PIXEL_YC* d, const PIXEL_YC* keyed, int n, int key) {
    const hn::ScalableTag<std::int16_t> d16;
    // A key below the 16-bit range lets every pixel through, one above it
    // none.
    if (key >= 32767) return;
    const bool all = key < -32768;
    const auto k = hn::Set(d16, static_cast<std::int16_t>(all ? -32768 : key));
    row_steps(
        n, static_cast<int>(hn::Lanes(d16)),
        [&](int i) {
            hn::Vec<decltype(d16)> ky, kcb, kcr, sy, scb, scr, dy, dcb, dcr;
            load_pixels(d16, keyed + i, ky, kcb, kcr);
            const auto on = all ? hn::Eq(ky, ky) : hn::Gt(ky, k);
            if (hn::AllFalse(d16, on)) return;
            load_pixels(d16, s + i, sy, scb, scr);
            load_pixels(d16, d + i, dy, dcb, dcr);
            store_pixels(d16, hn::IfThenElse(on, sy, dy), hn::IfThenElse(on, scb, dcb),
                         hn::IfThenElse(on, scr, dcr), d + i);
        },
        [&](int i) {
            if (keyed[i].y > key) d[i] = s[i];
        });
}

}  // namespace HWY_NAMESPACE
}  // namespace copy_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace copy_simd {
HWY_EXPORT(copy_row_keyed);
}  // namespace copy_simd

void copy_keyed(const Frame& src, const Frame& dst, const PairArea& area, int key) {
    const auto row = HWY_DYNAMIC_DISPATCH(copy_simd::copy_row_keyed);
    for_each_pair_row(src, dst, area,
                      [=](const PIXEL_YC* s, PIXEL_YC* d, int n) { row(s, d, s, n, key); });
}

void copy_masked(const Frame& src, const Frame& dst, const Frame& mask, const MaskedArea& area,
                 int key) {
    for_each_masked_row(src, dst, mask, area, HWY_DYNAMIC_DISPATCH(copy_simd::copy_row_keyed), key);
}
#endif  // HWY_ONCE
