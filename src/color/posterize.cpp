// posterize, posterize_rgb, posterize_hsv: quantisation to a number of levels
// in YCbCr, RGB or HSV.  Each value is moved to the nearest multiple of the
// step by adding half a step and dividing with truncation (the rules are in
// tone_pixel.h).
//
// The row loops are vector code compiled for each instruction set and
// chosen at run time (Highway).  The truncating division is a double
// division truncated: numerators stay below 2^18 and steps are 1..4096, so
// a quotient that is not whole lies at least 1/4096 from the next whole
// number, far more than the rounding, and the result is the integer
// quotient.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "color/posterize.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "buffers/pixel_simd-inl.h"
#include "buffers/rows.h"
#include "color/convert_simd-inl.h"
#include "color/hsv_float_simd-inl.h"
#include "color/hsv_guard.h"
#include "color/tone.h"
#include "color/posterize_levels.h"
#include "color/tone_pixel.h"

#include <cstdint>
#include <vector>

#if HWY_ONCE
int level_step(int levels, int range) {
    const int divisions = levels >= 2 ? levels - 1 : 1;
    const int step = range / divisions;
    return step == 0 ? 1 : step;
}
#endif  // HWY_ONCE

HWY_BEFORE_NAMESPACE();
namespace posterize_simd {
namespace HWY_NAMESPACE {

using namespace pixel_simd::HWY_NAMESPACE;  // and its alias hn

// Quantiser::operator() on whole numbers below 2^17 in magnitude, with
// `half` added first (0 when the caller has added it already).
HWY_INLINE hn::Vec<RealIntTag> quantise(hn::Vec<RealIntTag> v, const Quantiser& q, int half) {
    const RealTag df;
    const RealIntTag di;
    const auto t = hn::Add(v, hn::Set(di, half));
    const auto quotient =
        hn::DemoteTo(di, hn::Div(hn::PromoteTo(df, t), hn::Set(df, double(q.step))));
    const auto r = hn::Mul(quotient, hn::Set(di, q.step));
    return hn::Min(hn::Max(r, hn::Zero(di)), hn::Set(di, q.top));
}

// rgb_to_yc, each result truncated (all within the 16-bit range here).
HWY_INLINE void to_yc(hn::Vec<RealTag> r, hn::Vec<RealTag> g, hn::Vec<RealTag> b,
                      hn::Vec<RealIntTag>& y, hn::Vec<RealIntTag>& cb, hn::Vec<RealIntTag>& cr) {
    const RealTag df;
    hn::Vec<RealTag> fy, fcb, fcr;
    rgb_to_yc(df, r, g, b, fy, fcb, fcr);
    y = trunc_int(df, fy), cb = trunc_int(df, fcb), cr = trunc_int(df, fcr);
}

// Flat: each 16-bit value through the quantiser of its component in
// 32-bit lanes, the division in single precision.  That is exact here: the
// numerator t lies below 2^17 in magnitude, so the quotient q = t / step
// lies below 2^17 / step, and its rounding error (at most q * 2^-24, under
// 2^-7 / step) is smaller than the 1 / step by which a quotient that is not
// whole misses the next whole number; truncated, it is the integer quotient.
static void posterize_yc_row(PIXEL_YC* p, int n, const Posterize& q) {
    const IntTag di;
    const Int16Tag d16;
    const hn::Rebind<float, IntTag> df;
    const int lanes = static_cast<int>(hn::Lanes(di));
    hn::Vec<IntTag> offset[3], start[3], step[3], top[3];
    component_pattern(di, 0, 2048, 2048, offset);
    component_pattern(di, q.q[0].half, q.q[1].half + 2048, q.q[2].half + 2048, start);
    component_pattern(di, q.q[0].step, q.q[1].step, q.q[2].step, step);
    component_pattern(di, q.q[0].top, q.q[1].top, q.q[2].top, top);
    hn::Vec<decltype(df)> divisor[3];
    for (int c = 0; c < 3; ++c) divisor[c] = hn::ConvertTo(df, step[c]);
    std::int16_t* const v = values_of(p);
    flat_steps(
        n, lanes,
        [&](int c, int at) {
            const auto t = hn::Add(hn::PromoteTo(di, hn::LoadU(d16, v + at)), start[c]);
            const auto quotient = hn::ConvertTo(di, hn::Div(hn::ConvertTo(df, t), divisor[c]));
            const auto r = hn::Min(hn::Max(hn::Mul(quotient, step[c]), hn::Zero(di)), top[c]);
            hn::StoreU(low16(d16, hn::Sub(r, offset[c])), d16, v + at);
        },
        [&](int i) { posterize_yc_pixel(p[i], q); });
}

static void posterize_rgb_row(PIXEL_YC* p, int n, const Posterize& q) {
    const RealTag df;
    const auto level = [&](RealVec c, const Quantiser& quant) {
        return hn::PromoteTo(df, quantise(trunc_int(df, c), quant, quant.half));
    };
    rgb_steps(
        p, n,
        [&](RealVec r, RealVec g, RealVec b, RealIntVec& oy, RealIntVec& ocb, RealIntVec& ocr) {
            to_yc(level(r, q.q[0]), level(g, q.q[1]), level(b, q.q[2]), oy, ocb, ocr);
        },
        [&](int i) { posterize_rgb_pixel(p[i], q); });
}

static void posterize_hsv_row(PIXEL_YC* p, int n, const Posterize& q) {
    const RealTag df;
    // Quantiser::real: trunc(v + half), then the integer rule (the values
    // lie within 0..4096 plus half a step).
    const auto level = [&](RealVec c, int k) {
        const auto t = trunc_int(df, hn::Add(c, hn::Set(df, double(q.q[k].half))));
        return hn::PromoteTo(df, quantise(t, q.q[k], 0));
    };
    hsv_steps(p, n, level, [&](int i) { posterize_hsv_pixel(p[i], q); });
}

// The float H, S, V (hsv_float_simd-inl.h), each with half a step added and
// truncated, divided by the step (exact in single precision, see
// posterize_yc_row) and looked up.  The level is trunc(x) / step (x >= 0):
// it changes only where x crosses a multiple of the step, so a float x
// within its bound of a whole number W leaves the result in doubt only if
// W is such a multiple.  W is trunc(x) (x just above it: the remainder of
// trunc(x) by the step is 0) or trunc(x) + 1 (the remainder is step - 1);
// lanes with either remainder next to a whole number go to the double
// kernel, and every other lane's level is the double routine's.
static void posterize_hsv_float_row(PIXEL_YC* p, int n, const HsvLevels& t) {
    const IntTag di;
    const FloatTag df;
    guarded_steps(
        p, n,
        [&](int i) {
            const HsvFloat hsv = hsv_float_at(p + i);
            GuardedResult r;
            r.risky = hsv.risky;
            const FloatVec c[3] = {hsv.h, hsv.s, hsv.v};
            const FloatMask exact[3] = {hsv.exact_h, hsv.exact_s, hsv.exact_v};
            hn::Vec<IntTag> level[3];
            for (int k = 0; k < 3; ++k) {
                const Quantiser& q = t.q.q[k];
                const auto x = hn::Add(c[k], hn::Set(df, float(q.half)));
                const auto whole = hn::ConvertTo(di, x);
                const auto quotient =
                    hn::ConvertTo(di, hn::Div(hn::ConvertTo(df, whole), hn::Set(df, float(q.step))));
                const auto rest = hn::Sub(whole, hn::Mul(quotient, hn::Set(di, q.step)));
                const auto at_step = hn::RebindMask(
                    df, hn::Or(hn::Eq(rest, hn::Zero(di)), hn::Eq(rest, hn::Set(di, q.step - 1))));
                const auto doubt = hn::And(at_step, near_cut(x, hn::Set(df, t.cut[k])));
                r.risky = hn::Or(r.risky, hn::AndNot(exact[k], doubt));
                level[k] = hn::Min(quotient, hn::Set(di, t.n[k] - 1));
            }
            const auto index = hn::Add(
                hn::Mul(hn::Add(hn::Mul(level[0], hn::Set(di, t.n[1])), level[1]),
                        hn::Set(di, t.n[2])),
                level[2]);
            const auto packed = hn::GatherIndex(di, t.y_cb, index);
            r.y = hn::ShiftRight<16>(hn::ShiftLeft<16>(packed));
            r.cb = hn::ShiftRight<16>(packed);
            r.cr = hn::GatherIndex(di, t.cr, index);
            return r;
        },
        [&](PIXEL_YC* q, int count) { posterize_hsv_row(q, count, t.q); });
}

}  // namespace HWY_NAMESPACE
}  // namespace posterize_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace posterize_simd {
HWY_EXPORT(posterize_yc_row);
HWY_EXPORT(posterize_rgb_row);
HWY_EXPORT(posterize_hsv_row);
HWY_EXPORT(posterize_hsv_float_row);

namespace {

Posterize posterize_of(const int levels[3], int range1) {
    return {{Quantiser(level_step(levels[0], range1), range1),
             Quantiser(level_step(levels[1], 4096), 4096),
             Quantiser(level_step(levels[2], 4096), 4096)}};
}

}  // namespace
}  // namespace posterize_simd

void posterize_yc(const Frame& frame, const Region& region, const int levels[3]) {
    using namespace posterize_simd;
    for_each_pixel_row(frame, region, HWY_DYNAMIC_DISPATCH(posterize_yc_row),
                       posterize_of(levels, 4096));
}

void posterize_rgb(const Frame& frame, const Region& region, const int levels[3]) {
    using namespace posterize_simd;
    for_each_pixel_row(frame, region, HWY_DYNAMIC_DISPATCH(posterize_rgb_row),
                       posterize_of(levels, 4096));
}

void posterize_hsv_double(const Frame& frame, const Region& region, const int levels[3]) {
    using namespace posterize_simd;
    for_each_pixel_row(frame, region, HWY_DYNAMIC_DISPATCH(posterize_hsv_row),
                       posterize_of(levels, 3600));
}

// The table costs a double conversion per entry: worth it up to this many.
constexpr int kMostLevelColours = 1 << 14;

void posterize_hsv(const Frame& frame, const Region& region, const int levels[3]) {
    using namespace posterize_simd;
    HsvLevels t{posterize_of(levels, 3600), {}, nullptr, nullptr, {}};
    long long colours = 1;
    for (int k = 0; k < 3; ++k) {
        const Quantiser& q = t.q.q[k];
        t.n[k] = q.top / q.step + (q.top % q.step == 0 ? 1 : 2);
        colours *= t.n[k];
    }
    if (colours > kMostLevelColours) return posterize_hsv_double(frame, region, levels);
    // H, S, V within their bounds; adding half a step (below 2^11, the sum
    // below 2^13) rounds once more.
    const double bound[3] = {kHueError, kSaturationError, kValueError};
    for (int k = 0; k < 3; ++k)
        t.cut[k] = static_cast<float>(bound[k] + 8192 * kFloatRounding + 1e-6);
    std::vector<std::int32_t> y_cb(static_cast<std::size_t>(colours)), cr(y_cb.size());
    const auto value = [&](int k, int i) {
        const Quantiser& q = t.q.q[k];
        return static_cast<double>(static_cast<long long>(i) * q.step < q.top ? i * q.step : q.top);
    };
    std::size_t e = 0;
    for (int ih = 0; ih < t.n[0]; ++ih)
        for (int is = 0; is < t.n[1]; ++is)
            for (int iv = 0; iv < t.n[2]; ++iv, ++e) {
                PIXEL_YC px;
                const Triple out = hsv_to_rgb(value(0, ih), value(1, is), value(2, iv));
                store_yc(px, out.a, out.b, out.c);
                y_cb[e] = static_cast<std::uint16_t>(px.y) | (static_cast<std::int32_t>(px.cb) << 16);
                cr[e] = px.cr;
            }
    t.y_cb = y_cb.data();
    t.cr = cr.data();
    for_each_pixel_row(frame, region, HWY_DYNAMIC_DISPATCH(posterize_hsv_float_row), t);
}
#endif  // HWY_ONCE
