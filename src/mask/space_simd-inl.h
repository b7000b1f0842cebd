// The colour spaces of the vector mask kernels (Y/Cb/Cr, R/G/B, HSV) in
// double lanes, compiled once per instruction set (include after
// hwy/highway.h in a file included once per target through
// hwy/foreach_target.h).
#if defined(QUORVEL_MASK_SPACE_SIMD_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef QUORVEL_MASK_SPACE_SIMD_INL_H_
#undef QUORVEL_MASK_SPACE_SIMD_INL_H_
#else
#define QUORVEL_MASK_SPACE_SIMD_INL_H_
#endif

#include <hwy/highway.h>

#include "buffers/pixel_simd-inl.h"
#include "color/convert_simd-inl.h"
#include "mask/graded_mask.h"

HWY_BEFORE_NAMESPACE();
namespace pixel_simd {
namespace HWY_NAMESPACE {

// The components of part h of a step's pixels in space S (Yc, Rgb or Hsv):
// Y, Cb, Cr as they are, R, G, B of yc_to_rgb (truncated to whole numbers
// when TruncateRgb), or H, S, V of rgb_to_hsv.
template <MaskSpace S, bool TruncateRgb>
HWY_INLINE void space_components(const RealPlanes& px, int h, RealVec& c1, RealVec& c2,
                                 RealVec& c3) {
    const RealTag df;
    c1 = px.y[h], c2 = px.cb[h], c3 = px.cr[h];
    if constexpr (S == MaskSpace::Yc) return;
    RealVec r, g, b;
    yc_to_rgb(df, c1, c2, c3, r, g, b);
    if constexpr (S == MaskSpace::Hsv) {
        rgb_to_hsv(df, r, g, b, c1, c2, c3);
    } else if constexpr (TruncateRgb) {
        c1 = hn::PromoteTo(df, trunc_int(df, r));
        c2 = hn::PromoteTo(df, trunc_int(df, g));
        c3 = hn::PromoteTo(df, trunc_int(df, b));
    } else {
        c1 = r, c2 = g, c3 = b;
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace pixel_simd
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
