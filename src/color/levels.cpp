// normalize and binarize: legal colour range and a luma threshold.
//
// Both run vector code compiled for each instruction set and chosen at run
// time (Highway), exact lane by lane (the rules are in tone_pixel.h; the
// ends of rows use them directly).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "color/levels.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "buffers/pixel_simd-inl.h"
#include "buffers/rows.h"
#include "color/tone.h"
#include "color/tone_pixel.h"

HWY_BEFORE_NAMESPACE();
namespace levels_simd {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;
using namespace pixel_simd::HWY_NAMESPACE;

static void normalize_row(PIXEL_YC* p, int n) {
    const RealTag df;
    const RealIntTag di;
    const auto zero = hn::Zero(di), top = hn::Set(di, 4096);
    row_steps(
        n, real_step(),
        [&](int i) {
            RealPlanes px;
            load_real(p + i, px);
            IntParts oy, ocb, ocr;
            for (int h = 0; h < kRealParts; ++h) {
                hn::Vec<RealTag> r, g, b;
                yc_to_rgb(df, px.y[h], px.cb[h], px.cr[h], r, g, b);
                // Truncated, above 4096 to 4096, at or below 0 to 0.
                const auto cube = [&](hn::Vec<RealTag> v) {
                    return hn::PromoteTo(df, hn::Min(hn::Max(trunc_int(df, v), zero), top));
                };
                hn::Vec<RealTag> y, cb, cr;
                rgb_to_yc(df, cube(r), cube(g), cube(b), y, cb, cr);
                const auto limit = [&](hn::Vec<RealTag> v, int lo, int hi) {
                    return hn::Min(hn::Max(trunc_int(df, v), hn::Set(di, lo)), hn::Set(di, hi));
                };
                oy[h] = limit(y, 0, 4096), ocb[h] = limit(cb, -2048, 2048), ocr[h] = limit(cr, -2048, 2048);
            }
            store_wrapped(oy, ocb, ocr, p + i);
        },
        [&](int i) { normalize_pixel(p[i]); });
}

// Y >= threshold in 16-bit lanes, flat (the cb and cr values become 0); a
// threshold above the 16-bit range selects nothing, one at or below its
// bottom everything.
static void binarize_row(PIXEL_YC* p, int n, int threshold) {
    const hn::ScalableTag<std::int16_t> d16;
    const int lanes = static_cast<int>(hn::Lanes(d16));
    const auto full = hn::Set(d16, 4096);
    const bool none = threshold > 32767;
    const auto t = hn::Set(d16, static_cast<std::int16_t>(threshold < -32768 ? -32768 : (none ? 0 : threshold)));
    hn::Vec<decltype(d16)> pattern[3];
    component_pattern(d16, 4096, 0, 0, pattern);
    row_steps(
        n, lanes,
        [&](int i) {
            std::int16_t* v = values_of(p + i);
            for (int c = 0; c < 3; ++c) {
                const auto selected = hn::AndNot(hn::Lt(hn::LoadU(d16, v + c * lanes), t), hn::Eq(pattern[c], full));
                hn::StoreU(none ? hn::Zero(d16) : hn::IfThenElseZero(selected, full), d16, v + c * lanes);
            }
        },
        [&](int i) { binarize_pixel(p[i], threshold); });
}

}  // namespace HWY_NAMESPACE
}  // namespace levels_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace levels_simd {
HWY_EXPORT(normalize_row);
HWY_EXPORT(binarize_row);
}  // namespace levels_simd

void normalize_gamut(const Frame& frame, const Region& region) {
    const auto row = HWY_DYNAMIC_DISPATCH(levels_simd::normalize_row);
    for_each_pixel_row(frame, region, [row](PIXEL_YC* p, int n) { row(p, n); });
}

void binarize_luma(const Frame& frame, const Region& region, int threshold) {
    const auto row = HWY_DYNAMIC_DISPATCH(levels_simd::binarize_row);
    for_each_pixel_row(frame, region, [row, threshold](PIXEL_YC* p, int n) { row(p, n, threshold); });
}
#endif  // HWY_ONCE
