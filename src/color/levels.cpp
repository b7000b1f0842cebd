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

using namespace pixel_simd::HWY_NAMESPACE;  // and its alias hn

static void normalize_row(PIXEL_YC* p, int n) {
    const RealTag df;
    const RealIntTag di;
    const auto zero = hn::Zero(di), top = hn::Set(di, 4096);
    // Truncated, above 4096 to 4096, at or below 0 to 0.
    const auto cube = [&](RealVec v) {
        return hn::PromoteTo(df, hn::Min(hn::Max(trunc_int(df, v), zero), top));
    };
    const auto limit = [&](RealVec v, int lo, int hi) {
        return hn::Min(hn::Max(trunc_int(df, v), hn::Set(di, lo)), hn::Set(di, hi));
    };
    rgb_steps(
        p, n,
        [&](RealVec r, RealVec g, RealVec b, RealIntVec& oy, RealIntVec& ocb, RealIntVec& ocr) {
            RealVec y, cb, cr;
            rgb_to_yc(df, cube(r), cube(g), cube(b), y, cb, cr);
            oy = limit(y, 0, 4096), ocb = limit(cb, -2048, 2048), ocr = limit(cr, -2048, 2048);
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
    const auto t = hn::Set(
        d16, static_cast<std::int16_t>(threshold < -32768 ? -32768 : (none ? 0 : threshold)));
    hn::Vec<decltype(d16)> pattern[3];
    component_pattern(d16, 4096, 0, 0, pattern);
    std::int16_t* const v = values_of(p);
    flat_steps(
        n, lanes,
        [&](int c, int at) {
            const auto selected =
                hn::AndNot(hn::Lt(hn::LoadU(d16, v + at), t), hn::Eq(pattern[c], full));
            hn::StoreU(none ? hn::Zero(d16) : hn::IfThenElseZero(selected, full), d16, v + at);
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
    for_each_pixel_row(frame, region, HWY_DYNAMIC_DISPATCH(levels_simd::normalize_row));
}

void binarize_luma(const Frame& frame, const Region& region, int threshold) {
    for_each_pixel_row(frame, region, HWY_DYNAMIC_DISPATCH(levels_simd::binarize_row), threshold);
}
#endif  // HWY_ONCE
