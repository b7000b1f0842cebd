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
#include "color/hsv_adjust_float_simd-inl.h"
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

// H, S, V in single precision from the exact R, G, B of hsv_front
// (hsv_adjust_float_simd-inl.h), within the bounds of hsv_float_simd-inl.h:
//   H = 600 D / range + 0, 1200, 2400 (+ 3600 for a negative hue in R's
//       sector): the product and the quotient one rounding each, the sum
//       half a unit of 3600 (the bound allows two);
//   S = 4096 range / max: the product exact, the quotient one rounding;
//   V = max * 0.002f: the constant half a unit, the product one.
// Some are exact, as they are in the double routine: an exact grey's H
// and S (0) and V (a whole number, so rounding the float V gives it); a
// maximum beyond the top end makes V exactly 4096 (rounded as well); a
// minimum below 0 makes the range the maximum, S = 4096 range / range; H
// where R is largest and G and B lie beyond the same end (0), or where all
// three lie beyond an end (D is 0 or the range: a multiple of 600 exactly).
//
// Each level is trunc(x) / step with x = C + half (x >= 0), that is
// floor(x / step): it changes only where x crosses a multiple of the step.
// A lane whose x / step (x * inv, within cut_q of the double's x / step)
// lies within cut_q of a whole number other than 0 goes to the double
// kernel, unless x is exact.  The level itself is floor((trunc(x) + 0.5) *
// inv): (trunc(x) + 0.5) / step lies 0.5 / step or more from a whole
// number, and the float product within 2 units of x / step (below 2^13 /
// step), far less; so it is trunc(x) / step exactly, and where no multiple
// of the step lies within the bound of x, the double's.
static void posterize_hsv_float_row(PIXEL_YC* p, int n, const HsvLevels& t) {
    const IntTag di;
    const FloatTag df;
    const auto c = [&](float x) { return hn::Set(df, x); };
    const auto zero = hn::Zero(df), top = c(2048000.0f);
    guarded_steps(
        p, n,
        [&](int i) {
            const HsvFront in = hsv_front(p + i);
            const auto base = hn::IfThenElse(
                in.is_r, hn::IfThenElseZero(hn::Lt(in.d, zero), c(3600.0f)),
                hn::IfThenElse(in.is_g, c(1200.0f), c(2400.0f)));
            const auto h = hn::Add(
                hn::Div(hn::Mul(in.d, c(600.0f)), hn::Max(in.range, c(1.0f))), base);
            const auto s = hn::Div(hn::Mul(in.range, c(4096.0f)), hn::Max(in.max, c(1.0f)));
            const auto exact_v = hn::Or(in.exact_grey, hn::Gt(in.max_raw, top));
            auto v = hn::Mul(in.max, c(0.002f));
            v = hn::IfThenElse(exact_v, hn::Round(v), v);
            const auto beyond = [&](FloatVec x) {
                return hn::Or(hn::Lt(x, zero), hn::Gt(x, top));
            };
            const auto all_clamped = hn::And(beyond(in.rn), hn::And(beyond(in.gn), beyond(in.bn)));
            const FloatMask exact[3] = {
                hn::Or(in.exact_grey, hn::Or(hn::And(in.is_r, in.settled), all_clamped)),
                hn::Or(in.exact_grey, hn::Lt(in.min_raw, zero)), exact_v};
            const FloatVec comp[3] = {h, s, v};
            GuardedResult r;
            r.risky = in.held;
            FloatVec level[3];
            for (int k = 0; k < 3; ++k) {
                const Quantiser& q = t.q.q[k];
                const auto x = hn::Add(comp[k], c(float(q.half)));
                const auto inv = c(t.inv[k]);
                const auto doubt = near_cut(hn::Mul(x, inv), c(t.cut_q[k]));
                r.risky = hn::Or(r.risky, hn::AndNot(exact[k], doubt));
                const auto whole = hn::Floor(x);
                level[k] = hn::Min(hn::Floor(hn::Mul(hn::Add(whole, c(0.5f)), inv)),
                                   c(float(t.n[k] - 1)));
            }
            const auto index = hn::ConvertTo(
                di, hn::MulAdd(hn::MulAdd(level[0], c(float(t.n[1])), level[1]), c(float(t.n[2])),
                               level[2]));
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
    HsvLevels t{posterize_of(levels, 3600), {}, nullptr, nullptr, {}, {}, {}};
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
    for (int k = 0; k < 3; ++k) {
        const Quantiser& q = t.q.q[k];
        t.cut[k] = static_cast<float>(bound[k] + 8192 * kFloatRounding + 1e-6);
        t.inv[k] = static_cast<float>(1.0 / q.step);
        // x * inv: inv half a unit, the product one, of x / step, x below
        // top + step.
        t.cut_q[k] = static_cast<float>(
            (bound[k] + 8192 * kFloatRounding + 1e-6 + 2 * kFloatRounding * (q.top + q.step)) /
            q.step);
    }
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
