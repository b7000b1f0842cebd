// The guarded single-precision HSV kernels against the double routines, bit
// for bit, on every instruction set this machine runs: random pixels, and
// pixels picked because the double chain puts them next to one of its cuts
// (the sector truncation of the hue, the grey test S' = 0, the truncation of
// Y, Cb and Cr), inside the guard band and just outside it, where the float
// result is trusted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "buffers/frame.h"
#include "color/convert.h"
#include "color/hsv_guard.h"
#include "color/region_color.h"
#include "color/region_color_pixel.h"
#include "color/tone.h"
#include "color/tone_pixel.h"
#include "each_target.h"
#include "mask/graded_mask.h"
#include "mask/graded_pixel.h"
#include "mask/near_merge.h"
#include "buffers/numeric.h"
#include "platform/thread_pool.h"

namespace {

constexpr int kW = 509;

struct Lcg {
    std::uint32_t s;
    int next(int lo, int hi) {
        s = s * 1664525u + 1013904223u;
        return lo + static_cast<int>((s >> 8) % static_cast<unsigned>(hi - lo + 1));
    }
};

double to_whole(double x) { return std::fabs(x - std::nearbyint(x)); }

std::vector<PIXEL_YC> zero_maximum_pixels();

// Distance of the double chain of color_hsv to its nearest cut.
double cut_distance(const PIXEL_YC& p, const HsvAdjust& a) {
    const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
    const Triple hsv = rgb_to_hsv(rgb.a, rgb.b, rgb.c);
    const double h = (a.k[0] * hsv.a) * (1.0 / 4096) + a.o[0];
    const double s = (a.k[1] * hsv.b) * (1.0 / 4096) + a.o[1];
    double d = std::fabs(s);
    if (s != 0) d = std::fmin(d, to_whole(h * 0.6));
    const Triple out = hsv_to_rgb(h, s, (a.k[2] * hsv.c) * (1.0 / 4096) + a.o[2]);
    const Triple yc = rgb_to_yc(out.a, out.b, out.c);
    for (double c : {yc.a, yc.b, yc.c})
        if (std::fabs(c) >= 0.5) d = std::fmin(d, to_whole(c));
    return d;
}

// Cb, Cr with a whole R, G or B: a whole V, which the double chain may
// carry as a rounding below it.
const std::vector<std::pair<int, int>>& whole_channels() {
    static const std::vector<std::pair<int, int>> pairs = [] {
        std::vector<std::pair<int, int>> v;
        for (int cb = -2048; cb <= 2048; ++cb)
            for (int cr = -2048; cr <= 2048; ++cr)
                if ((1402 * cr) % 1000 == 0 || (344 * cb + 714 * cr) % 1000 == 0 ||
                    (1772 * cb) % 1000 == 0)
                    v.emplace_back(cb, cr);
        return v;
    }();
    return pairs;
}

// Random pixels (nominal range and a margin, and any 16-bit values),
// near-greys, greys, ties of G and B, whole channels; `keep` chooses among them.
template <class Keep>
std::vector<PIXEL_YC> pick_pixels(std::uint32_t seed, int count, const Keep& keep) {
    Lcg rng{seed};
    const auto& whole = whole_channels();
    std::vector<PIXEL_YC> px;
    for (int n = 0; static_cast<int>(px.size()) < count && n < 4000000; ++n) {
        PIXEL_YC p{static_cast<std::int16_t>(rng.next(-200, 4300)),
                   static_cast<std::int16_t>(rng.next(-2200, 2200)),
                   static_cast<std::int16_t>(rng.next(-2200, 2200))};
        if (n % 5 == 1) p.cb = static_cast<std::int16_t>(rng.next(-3, 3)),
                        p.cr = static_cast<std::int16_t>(rng.next(-3, 3));
        if (n % 50 == 2) p.cb = p.cr = 0;
        if (n % 7 == 3) {  // G = B (the hue cut at 0): Cb = 357 t, Cr = -1058 t
            const int t = rng.next(-2, 2);
            p.cb = static_cast<std::int16_t>(357 * t), p.cr = static_cast<std::int16_t>(-1058 * t);
        }
        if (n % 4 == 2) {
            const auto& w = whole[static_cast<std::size_t>(rng.next(0, int(whole.size()) - 1))];
            p.cb = static_cast<std::int16_t>(w.first), p.cr = static_cast<std::int16_t>(w.second);
        }
        if (n % 17 == 6)  // anything a 16-bit component can hold
            p = {static_cast<std::int16_t>(rng.next(-32768, 32767)),
                 static_cast<std::int16_t>(rng.next(-32768, 32767)),
                 static_cast<std::int16_t>(rng.next(-32768, 32767))};
        if (n % 10 == 0 || keep(p)) px.push_back(p);
    }
    px.resize((px.size() / kW) * kW);
    return px;
}

// kernel(frame) against pixel(p) on every pixel, for every target.
template <class Kernel, class Pixel>
void expect_same(const std::string& what, const std::vector<PIXEL_YC>& input,
                 const Kernel& kernel, const Pixel& pixel) {
    std::vector<PIXEL_YC> expected = input;
    for (PIXEL_YC& p : expected) pixel(p);
    pool::set_worker_count(1);
    for_each_target([&](const std::string& target) {
        std::vector<PIXEL_YC> got = input;
        kernel(Frame{got.data(), kW, static_cast<int>(got.size() / kW)});
        int shown = 0;
        for (std::size_t i = 0; i < got.size() && shown < 3; ++i) {
            const PIXEL_YC &g = got[i], &e = expected[i];
            if (g.y == e.y && g.cb == e.cb && g.cr == e.cr) continue;
            ++shown;
            ADD_FAILURE() << what << " on " << target << ": (" << input[i].y << ", "
                          << input[i].cb << ", " << input[i].cr << ") gave (" << g.y << ", "
                          << g.cb << ", " << g.cr << "), expected (" << e.y << ", " << e.cb
                          << ", " << e.cr << ")";
        }
    });
    pool::set_worker_count(2);
}

}  // namespace

TEST(HsvGuardExact, ColorHsvNextToEveryCut) {
    const ColorAdjust adjusts[] = {
        {{1.1, 0.9, 1.2}, {10, -5, 3}},
        {{1, 1, 1}, {0, 0, 0}},
        {{1, 1, 1}, {-7, -4096, 0}},  // saturated pixels turn grey (S' = 0 exactly)
        {{1, 1, 1}, {0, -2048, 0}},   // S' either side of 0: the sector matters above it
        {{-2.3, 3.1, 0.7}, {5000, 300, -900}},
        {{7.9, 0.25, 4}, {-36000, 4000, 2000}},
    };
    for (const ColorAdjust& adjust : adjusts) {
        const HsvAdjust a = hsv_adjust(adjust);
        const HsvCuts cuts = hsv_cuts(a.k, a.o);
        ASSERT_TRUE(cuts.usable) << adjust.gain[0];
        // Inside the band and up to half its width outside.
        const double band = 1.5 * std::fmax(cuts.output, cuts.sector);
        const auto px = pick_pixels(static_cast<std::uint32_t>(adjust.offset[0]) + 11, 60000,
                                    [&](const PIXEL_YC& p) { return cut_distance(p, a) < band; });
        const Region all{0, 0, kW, static_cast<int>(px.size() / kW)};
        expect_same(
            "color_hsv gain " + std::to_string(adjust.gain[0]), px,
            [&](const Frame& f) { color_hsv(f, all, adjust); },
            [&](PIXEL_YC& p) { color_hsv_pixel(p, a); });
    }
}

namespace {

// The edges of color_hsv's and posterize_hsv's float lanes: components
// beyond the nominal range (up to any 16-bit value); G = B below R, with G
// and B both clamped at the same end (the double's hue exactly 0) or not
// (+0 or just below, which wraps); greys next to both ends, exact ones
// (Cb = Cr = 0, all three channels beyond one end) and narrow ranges from
// clamping; a maximum of exactly 0.
std::vector<PIXEL_YC> hsv_edge_pixels() {
    std::vector<PIXEL_YC> px = zero_maximum_pixels();
    for (int y = -6; y <= 6; ++y)
        for (int cb = -4; cb <= 4; ++cb)
            for (int cr = -4; cr <= 4; ++cr)
                for (int end : {0, 4096})
                    px.push_back({static_cast<std::int16_t>(end + y), static_cast<std::int16_t>(cb),
                                  static_cast<std::int16_t>(cr)});
    // One channel exactly at an end, the other two beyond it: R = G = B
    // exactly, which the double may see as a range of a rounding (every
    // 12th pair of the whole channels: about 8000 pixels).
    const auto& whole = whole_channels();
    for (std::size_t i = 0; i < whole.size(); i += 12) {
        const auto& w = whole[i];
        const int d[3] = {1402 * w.second, -344 * w.first - 714 * w.second, 1772 * w.first};
        for (int k = 0; k < 3; ++k) {
            if (d[k] % 1000 != 0) continue;
            const int at_top = std::min({d[0], d[1], d[2]}) == d[k];
            const int at_zero = std::max({d[0], d[1], d[2]}) == d[k];
            if (at_top && 4096 - d[k] / 1000 <= 32767)
                px.push_back({static_cast<std::int16_t>(4096 - d[k] / 1000),
                              static_cast<std::int16_t>(w.first), static_cast<std::int16_t>(w.second)});
            if (at_zero)
                px.push_back({static_cast<std::int16_t>(-d[k] / 1000),
                              static_cast<std::int16_t>(w.first), static_cast<std::int16_t>(w.second)});
        }
    }
    // R exactly at an end, G and B beyond it (the double's hue is exactly 0
    // only if its R is): Cr a multiple of 500, where Cr * 1.402 rounds
    // beyond 5000 in size.
    for (int cr = -32500; cr <= 32500; cr += 500)
        for (int cb = -32768; cb <= 32767; cb += 61)
            for (int end : {0, 4096}) {
                const long y = end - 1402L * cr / 1000;
                const long g = 1000 * y - 344L * cb - 714L * cr, b = 1000 * y + 1772L * cb;
                const bool beyond = end == 0 ? g < 0 && b < 0 : g > 4096000 && b > 4096000;
                if (beyond && y >= -32768 && y <= 32767 && (cb + cr / 500) % 7 == 0)
                    px.push_back({static_cast<std::int16_t>(y), static_cast<std::int16_t>(cb),
                                  static_cast<std::int16_t>(cr)});
            }
    Lcg rng{5};
    while (px.size() < 60 * kW) {
        const int kind = rng.next(0, 3);
        PIXEL_YC p{static_cast<std::int16_t>(rng.next(-300, 4400)),
                   static_cast<std::int16_t>(rng.next(-2200, 2200)),
                   static_cast<std::int16_t>(rng.next(-2200, 2200))};
        if (kind == 0) {  // one component just beyond 8192 in size, or far
            std::int16_t* c[3] = {&p.y, &p.cb, &p.cr};
            *c[rng.next(0, 2)] = static_cast<std::int16_t>(
                rng.next(0, 1) ? rng.next(8190, 8194) * (rng.next(0, 1) ? 1 : -1)
                               : rng.next(-32768, 32767));
        }
        if (kind == 1) {  // G = B below R; Y decides which clamp
            const int t = rng.next(-7, -1);
            p.cb = static_cast<std::int16_t>(357 * t), p.cr = static_cast<std::int16_t>(-1058 * t);
            p.y = static_cast<std::int16_t>(rng.next(-1000, 9000));
        }
        if (kind == 2) p.cb = p.cr = 0, p.y = static_cast<std::int16_t>(rng.next(-5000, 9000));
        px.push_back(p);
    }
    px.resize((px.size() / kW) * kW);
    return px;
}

}  // namespace

// color_hsv's float lanes on those edges, with gains and offsets that pass
// greys' V' unclamped, turn S' through 0, show a flat colour's hue.
TEST(HsvGuardExact, ColorHsvEdgesOfTheFloatLanes) {
    const std::vector<PIXEL_YC> px = hsv_edge_pixels();
    ASSERT_GT(px.size(), 50u * kW);
    const Region all{0, 0, kW, static_cast<int>(px.size() / kW)};
    const ColorAdjust adjusts[] = {{{1, 1, 1}, {0, 0, 0}},
                                   {{1.1, 0.9, 1.2}, {10, -5, 3}},
                                   {{1, 1, 1.5}, {0, -4096, 0}},
                                   {{1, 0, 1.5}, {7, 0, -3}},
                                   {{-1, 1, 1}, {0, 0, 0}},
                                   {{1.1, 1, 1}, {3, 0, 0}},
                                   {{1, 1, -0.5}, {0, 0, 4}},
                                   {{1, 1, 1}, {0, -4096, -4500}},
                                   // a flat colour's S' = 300: its hue shows
                                   {{1, 1, 1}, {0, 300, 0}}};
    for (const ColorAdjust& adjust : adjusts) {
        const HsvAdjust a = hsv_adjust(adjust);
        ASSERT_TRUE(hsv_cuts(a.k, a.o).usable) << adjust.gain[2];
        expect_same(
            "color_hsv edges, gains " + std::to_string(adjust.gain[0]) + " " +
                std::to_string(adjust.gain[1]) + " " + std::to_string(adjust.gain[2]),
            px, [&](const Frame& f) { color_hsv(f, all, adjust); },
            [&](PIXEL_YC& p) { color_hsv_pixel(p, a); });
    }
}

TEST(HsvGuardExact, BoundsGrowWithGainsAndStopThePath) {
    const double unit[3] = {4096, 4096, 4096}, none[3] = {0, 0, 0};
    const HsvCuts one = hsv_cuts(unit, none);
    EXPECT_TRUE(one.usable);
    EXPECT_GT(one.output, 4096 * 9 * kFloatRounding);  // at least the final roundings
    const double big[3] = {4096 * 40.0, 4096 * 40.0, 4096 * 40.0};
    const HsvCuts wide = hsv_cuts(big, none);
    EXPECT_GT(wide.output, 10 * one.output);
    EXPECT_FALSE(wide.usable);  // such gains go to the double kernel
    const double far[3] = {0, 0, 2e6};
    EXPECT_FALSE(hsv_cuts(unit, far).usable);
}

namespace {

// The quantisers of posterize_hsv's levels (H, S, V).
Posterize posterize_of(const int levels[3]) {
    return Posterize{{Quantiser(level_step(levels[0], 3600), 3600),
                      Quantiser(level_step(levels[1], 4096), 4096),
                      Quantiser(level_step(levels[2], 4096), 4096)}};
}

// Whether H, S or V of `p` plus half a step lies within 3e-3 of a whole
// number, or of a whole multiple of the step when `multiples`.
bool near_posterize_cut(const PIXEL_YC& p, const Posterize& q, bool multiples) {
    const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
    const Triple hsv = rgb_to_hsv(rgb.a, rgb.b, rgb.c);
    const double c[3] = {hsv.a, hsv.b, hsv.c};
    for (int k = 0; k < 3; ++k) {
        const double v = c[k] + q.q[k].half;
        const double gap = multiples ? to_whole(v / q.q[k].step) * q.q[k].step : to_whole(v);
        if (gap < 3e-3) return true;
    }
    return false;
}

}  // namespace

TEST(HsvGuardExact, PosterizeHsvNextToEveryCut) {
    // 113 levels: steps of 32 put 1200 + 16 on a cut (pure greens).
    const int level_sets[][3] = {{5, 4, 4}, {2, 2, 2}, {7, 33, 17}, {113, 4, 4}, {3601, 2, 3}};
    for (const auto& levels : level_sets) {
        const Posterize q = posterize_of(levels);
        // H, S, V plus half a step next to a whole number (the truncation).
        const auto near = [&](const PIXEL_YC& p) { return near_posterize_cut(p, q, false); };
        const auto px = pick_pixels(static_cast<std::uint32_t>(levels[1]), 60000, near);
        const Region all{0, 0, kW, static_cast<int>(px.size() / kW)};
        expect_same(
            "posterize_hsv levels " + std::to_string(levels[0]) + " " + std::to_string(levels[1]),
            px, [&](const Frame& f) { posterize_hsv(f, all, levels); },
            [&](PIXEL_YC& p) { posterize_hsv_pixel(p, q); });
    }
}

// Only a whole number that is a multiple of the step is a cut of the
// level (trunc(x) / step): small steps (the fewest levels of each set
// within the table the float path takes), so that many random pixels put
// H, S or V plus half a step next to such a multiple.
TEST(HsvGuardExact, PosterizeHsvNextToMultiplesOfTheStep) {
    const int level_sets[][3] = {{113, 9, 9}, {7, 129, 17}, {2, 65, 65}, {3, 3, 1025}};
    for (const auto& levels : level_sets) {
        const Posterize q = posterize_of(levels);
        const auto near = [&](const PIXEL_YC& p) { return near_posterize_cut(p, q, true); };
        const auto px = pick_pixels(static_cast<std::uint32_t>(levels[2]) + 3, 30000, near);
        int at_cut = 0;
        for (const PIXEL_YC& p : px) at_cut += near(p);
        EXPECT_GT(at_cut, 200) << levels[0];  // the sample does reach the cuts
        const Region all{0, 0, kW, static_cast<int>(px.size() / kW)};
        expect_same(
            "posterize_hsv at multiples, levels " + std::to_string(levels[0]), px,
            [&](const Frame& f) { posterize_hsv(f, all, levels); },
            [&](PIXEL_YC& p) { posterize_hsv_pixel(p, q); });
    }
}

// posterize_hsv's float lanes on the same edges (exact greys and clamped
// channels put H, S and V on whole numbers, many of them cuts): levels
// whose steps are 1 (every whole number a cut), 2, and ones that put the
// exact hues 0, 600, 1200 ... and S = 4096 next to multiples of the step.
TEST(HsvGuardExact, PosterizeHsvEdgesOfTheFloatLanes) {
    const std::vector<PIXEL_YC> px = hsv_edge_pixels();
    const Region all{0, 0, kW, static_cast<int>(px.size() / kW)};
    // (Each within the table the float path takes: at most 2^14 colours.)
    // Steps 189, 227, 141 and 61, 41: the float 1 / step lies below the
    // real one, so m step times it rounds below m.
    const int level_sets[][3] = {{3601, 2, 2}, {2, 2049, 3}, {3, 2, 2049}, {113, 9, 9},
                                 {5, 4, 4},    {7, 3, 257},  {13, 65, 3},  {20, 19, 30},
                                 {60, 2, 99}};
    for (const auto& levels : level_sets) {
        const Posterize q = posterize_of(levels);
        expect_same(
            "posterize_hsv edges, levels " + std::to_string(levels[0]) + " " +
                std::to_string(levels[1]) + " " + std::to_string(levels[2]),
            px, [&](const Frame& f) { posterize_hsv(f, all, levels); },
            [&](PIXEL_YC& p) { posterize_hsv_pixel(p, q); });
    }
}

// Pixels held back for the double kernel that repeat (flat areas): runs
// of one pixel next to a cut, long (past a batch of held pixels) and short,
// among many different ones (which share the remembered results' slots).
TEST(HsvGuardExact, RepeatedPixelsHeldBack) {
    const ColorAdjust adjust{{1.1, 0.9, 1.2}, {10, -5, 3}};
    const HsvAdjust a = hsv_adjust(adjust);
    const HsvCuts cuts = hsv_cuts(a.k, a.o);
    const double band = std::fmax(cuts.output, cuts.sector);
    const auto near = pick_pixels(31, 20 * kW, [&](const PIXEL_YC& p) {
        return cut_distance(p, a) < band;
    });
    Lcg rng{7};
    std::vector<PIXEL_YC> px;
    while (px.size() < 150 * kW) {
        const PIXEL_YC p = near[static_cast<std::size_t>(rng.next(0, int(near.size()) - 1))];
        const int run = rng.next(0, 3) == 0 ? rng.next(200, 700) : rng.next(1, 20);
        px.insert(px.end(), static_cast<std::size_t>(run), p);
    }
    px.resize((px.size() / kW) * kW);
    const Region all{0, 0, kW, static_cast<int>(px.size() / kW)};
    expect_same(
        "color_hsv runs", px, [&](const Frame& f) { color_hsv(f, all, adjust); },
        [&](PIXEL_YC& p) { color_hsv_pixel(p, a); });
    // V in steps of 4: many cuts, within the float path's table.
    const int levels[3] = {3, 3, 1025};
    const Posterize q{{Quantiser(1800, 3600), Quantiser(2048, 4096), Quantiser(4, 4096)}};
    expect_same(
        "posterize_hsv runs", px, [&](const Frame& f) { posterize_hsv(f, all, levels); },
        [&](PIXEL_YC& p) { posterize_hsv_pixel(p, q); });
    const HsvUnitAdjust m = hsv_unit_adjust(adjust);
    expect_same(
        "color_hsv_m runs", px, [&](const Frame& f) { color_hsv_unit(f, all, adjust); },
        [&](PIXEL_YC& p) { color_hsv_unit_pixel(p, m); });
}

// color_hsv_i's integer lanes are exact by construction; checked here on
// the same pixels, with gains and offsets up to the ends of its range.
TEST(HsvGuardExact, ColorHsvIntegerLanes) {
    const ColorAdjust adjusts[] = {
        {{1.1, 0.9, 1.2}, {10, -5, 3}},
        {{1, 1, 1}, {0, 0, 0}},
        {{-63.9, 63.9, -63.9}, {4194303, -4194303, 4194303}},  // the edge of the lanes
        {{64, 1, 1}, {0, 0, 4194304}},                         // beyond: per pixel
        {{0.5, -2, 3}, {-7201, 4096, -4096}},
    };
    const auto px = pick_pixels(5, 60000, [](const PIXEL_YC&) { return false; });
    for (const ColorAdjust& adjust : adjusts) {
        const Region all{0, 0, kW, static_cast<int>(px.size() / kW)};
        const ColorFixed f = color_fixed(adjust, 1);
        expect_same(
            "color_hsv_i gain " + std::to_string(adjust.gain[0]), px,
            [&](const Frame& fr) { color_hsv_int(fr, all, adjust); },
            [&](PIXEL_YC& p) { color_hsv_int_pixel(p, f); });
    }
}

// color_hsv_i's 32-bit lanes form R, G, B from exact thousandths; a whole
// channel is where the double's truncation could differ.  B is whole only
// for Cb a multiple of 250, and its product is then exact in doubles for
// every 16-bit Cb (the lanes rely on it); R and G next to whole values (Cr
// a multiple of 500, 344 Cb + 714 Cr a multiple of 1000) go to the double
// kernel, checked here with Y all over its range.
TEST(HsvGuardExact, ColorHsvIntegerWholeChannels) {
    for (int cb = -32750; cb <= 32750; cb += 250)
        ASSERT_EQ(cb * 1.772, 443.0 * (cb / 250)) << cb;
    Lcg rng{41};
    std::vector<PIXEL_YC> px;
    while (px.size() < 60 * kW) {
        const int kind = rng.next(0, 2);
        int y = rng.next(-300, 4400), cb = rng.next(-2200, 2200), cr = rng.next(-2200, 2200);
        if (kind == 0) cr = 500 * rng.next(-66, 65);  // R whole, within 16 bits
        if (kind == 1) {  // G whole: 344 Cb + 714 Cr a multiple of 1000 (so 4 divides Cr)
            cr -= cr % 4;
            while ((344 * cb + 714 * cr) % 1000 != 0) cb = rng.next(-2200, 2200);
        }
        if (kind == 2) cb = 250 * rng.next(-131, 131);  // B whole
        if (rng.next(0, 9) == 0) y = rng.next(-32768, 32767);
        px.push_back({static_cast<std::int16_t>(y), static_cast<std::int16_t>(cb),
                      static_cast<std::int16_t>(cr)});
    }
    const Region all{0, 0, kW, static_cast<int>(px.size() / kW)};
    const ColorAdjust adjusts[] = {{{1, 1, 1}, {0, 0, 0}}, {{1.1, 0.9, 1.2}, {10, -5, 3}}};
    for (const ColorAdjust& adjust : adjusts) {
        const ColorFixed f = color_fixed(adjust, 1);
        expect_same(
            "color_hsv_i whole channels, gain " + std::to_string(adjust.gain[0]), px,
            [&](const Frame& fr) { color_hsv_int(fr, all, adjust); },
            [&](PIXEL_YC& p) { color_hsv_int_pixel(p, f); });
    }
}

namespace {

// Distance of the double chain of color_hsv_m to its nearest cut: the
// truncation of 6 H' (where S' is not 0) and of Y, Cb, Cr.
double unit_cut_distance(const PIXEL_YC& p, const HsvUnitAdjust& a) {
    const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
    const Triple hsv = rgb_to_hsv_unit((1.0 / 4096) * (256 * rgb.a), (1.0 / 4096) * (256 * rgb.b),
                                       (1.0 / 4096) * (256 * rgb.c));
    const double h = wrap_degrees((a.k[0] * hsv.a) * (1.0 / 4096) + a.oh);
    const double s = (a.k[1] * hsv.b) * (1.0 / 4096) + a.os;
    const double v = (a.k[2] * hsv.c) * (1.0 / 4096) + a.ov;
    double d = 1;
    if (s != 0) d = to_whole(h * 6);
    const Triple out = hsv_unit_to_rgb(h, s, v);
    const Triple yc = rgb_to_yc(out.a * 16, out.b * 16, out.c * 16);
    for (double c : {yc.a, yc.b, yc.c})
        if (std::fabs(c) >= 0.5 && std::fabs(c) < 1e9) d = std::fmin(d, to_whole(c));
    return d;
}

// Pixels whose largest channel is exactly 0 and the others below it (S
// divides by zero in the double routine), found in a small box.
std::vector<PIXEL_YC> zero_maximum_pixels() {
    std::vector<PIXEL_YC> px;
    for (int y = -400; y <= 0; ++y)
        for (int cb = -300; cb <= 300; ++cb)
            for (int cr = -300; cr <= 300; ++cr) {
                const long r = 500L * y + 701L * cr, g = 500L * y - 172L * cb - 357L * cr,
                           b = 500L * y + 886L * cb;
                if (std::max(r, std::max(g, b)) == 0 && (cb != 0 || cr != 0))
                    px.push_back({static_cast<std::int16_t>(y), static_cast<std::int16_t>(cb),
                                  static_cast<std::int16_t>(cr)});
            }
    return px;
}

}  // namespace

// color_hsv_m's single-precision lanes (hsv_unit_float_simd-inl.h) against
// the routine: random pixels and pixels next to its cuts (the hue's sixths
// of a degree, Y, Cb and Cr), with gains and offsets that make greys exact
// and whole (the identity), turn S' negative or through 0, carry the hue
// round several turns or backwards, and leave S' at 0 (g2 = 0).
TEST(HsvGuardExact, ColorHsvUnitNextToEveryCut) {
    const ColorAdjust adjusts[] = {
        {{1.1, 0.9, 1.2}, {10, -5, 3}},
        {{1, 1, 1}, {0, 0, 0}},
        {{1, 1, 1}, {1800, -2048, 0}},
        {{-2.3, 3.1, 0.7}, {5000, 300, -900}},
        {{0.25, -1, 2}, {-36005, 4096, 4096}},
        {{7.9, 0, 1}, {0, 0, -7}},
        {{1, 1.5, 1}, {3, 0, 0}},
    };
    for (const ColorAdjust& adjust : adjusts) {
        const HsvUnitAdjust a = hsv_unit_adjust(adjust);
        ASSERT_TRUE(hsv_unit_cuts(a.k, a.oh, a.os, a.ov).usable) << adjust.gain[0];
        const auto px = pick_pixels(static_cast<std::uint32_t>(adjust.offset[1]) + 29, 60000,
                                    [&](const PIXEL_YC& p) { return unit_cut_distance(p, a) < 0.02; });
        int near = 0;
        for (const PIXEL_YC& p : px) near += unit_cut_distance(p, a) < 3e-3;
        EXPECT_GT(near, 1000) << adjust.gain[0];  // the sample does reach the cuts
        const Region all{0, 0, kW, static_cast<int>(px.size() / kW)};
        expect_same(
            "color_hsv_m near cuts, gain " + std::to_string(adjust.gain[0]), px,
            [&](const Frame& f) { color_hsv_unit(f, all, adjust); },
            [&](PIXEL_YC& p) { color_hsv_unit_pixel(p, a); });
    }
}

// The lanes' own tests: a maximum of exactly 0 (S infinite), components
// beyond the range where R, G, B are exact in float, ties of G and B below
// R (the hue at +0 or just below), all in whole steps of pixels.
TEST(HsvGuardExact, ColorHsvUnitEdgesOfTheFloatLanes) {
    std::vector<PIXEL_YC> px = zero_maximum_pixels();
    ASSERT_GT(px.size(), 50u);
    // G = B below R where the double's hue comes out just below 0 (and
    // wraps to 360) for some large Y: Cb = 357 t, Cr = -1058 t.
    for (int t : {-3, -7})
        for (int y = 7300; y <= 8192; ++y)
            px.push_back({static_cast<std::int16_t>(y), static_cast<std::int16_t>(357 * t),
                          static_cast<std::int16_t>(-1058 * t)});
    Lcg rng{3};
    while (px.size() < 40 * kW) {
        const int kind = rng.next(0, 2);
        PIXEL_YC p{static_cast<std::int16_t>(rng.next(-300, 4400)),
                   static_cast<std::int16_t>(rng.next(-2200, 2200)),
                   static_cast<std::int16_t>(rng.next(-2200, 2200))};
        if (kind == 0) {  // one component just beyond 8192 in size, or far
            std::int16_t* c[3] = {&p.y, &p.cb, &p.cr};
            *c[rng.next(0, 2)] = static_cast<std::int16_t>(
                rng.next(0, 1) ? rng.next(8190, 8194) * (rng.next(0, 1) ? 1 : -1)
                               : rng.next(-32768, 32767));
        }
        if (kind == 1) {  // G = B, below R for t < 0 (Cr within the float lanes' range)
            const int t = rng.next(-7, 1);
            p.cb = static_cast<std::int16_t>(357 * t), p.cr = static_cast<std::int16_t>(-1058 * t);
        }
        px.push_back(p);
    }
    px.resize((px.size() / kW) * kW);
    const Region all{0, 0, kW, static_cast<int>(px.size() / kW)};
    const ColorAdjust adjusts[] = {{{1.1, 0.9, 1.2}, {10, -5, 3}},
                                   {{1, 1, 1}, {0, 0, 0}},
                                   {{-1, 0, 1}, {7, 0, 0}},
                                   {{2, 1, 1}, {1, 1, 1}},
                                   // a hue that wraps to 360 lands elsewhere
                                   {{1.1, 1, 1}, {3, 0, 0}}};
    for (const ColorAdjust& adjust : adjusts) {
        const HsvUnitAdjust a = hsv_unit_adjust(adjust);
        expect_same(
            "color_hsv_m edges, gain " + std::to_string(adjust.gain[0]), px,
            [&](const Frame& f) { color_hsv_unit(f, all, adjust); },
            [&](PIXEL_YC& p) { color_hsv_unit_pixel(p, a); });
    }
}

// The bounds widen with the gains and offsets, and stop the float lanes
// where they would hold back most pixels (or where the hue's turns leave
// the exact range); such calls take the double lanes.
TEST(HsvGuardExact, UnitBoundsGrowAndStopThePath) {
    const double one[3] = {4096, 4096, 4096};
    const HsvUnitCuts plain = hsv_unit_cuts(one, 0, 0, 0);
    EXPECT_TRUE(plain.usable);
    EXPECT_TRUE(plain.grey_exact);
    const HsvUnitCuts offset = hsv_unit_cuts(one, 1, 0.5, 0.5);
    EXPECT_FALSE(offset.grey_exact);
    for (int fused = 0; fused < 2; ++fused) {
        // Every output rounds at least once: u |vO| and u |vO S'|.
        EXPECT_GT(plain.out_v[fused], kFloatRounding);
        EXPECT_GT(plain.out_vs[fused], 3 * kFloatRounding);
        EXPECT_GE(plain.out_v[0], plain.out_v[1]);
        EXPECT_GT(offset.out_c[fused], plain.out_c[fused]);
        EXPECT_GT(offset.out_s[fused], 0);
    }
    const double turning[3] = {4096 * 60.0, 4096, 4096};
    EXPECT_GT(hsv_unit_cuts(turning, 0, 0, 0).sector, 50 * plain.sector);
    EXPECT_FALSE(hsv_unit_cuts(turning, 0, 0, 0).usable);
    EXPECT_FALSE(hsv_unit_cuts(one, 2e5, 0, 0).usable);
    EXPECT_FALSE(hsv_unit_cuts(one, 0, 100, 0).usable);
    const double huge[3] = {4096, 4096.0 * 5000, 4096};
    EXPECT_FALSE(hsv_unit_cuts(huge, 0, 0, 0).usable);
    // Beyond the float lanes: the double lanes, still the routine's result.
    const auto px = pick_pixels(23, 20 * kW, [](const PIXEL_YC&) { return false; });
    const Region all{0, 0, kW, static_cast<int>(px.size() / kW)};
    const ColorAdjust wide{{60, 1, 1}, {0, 0, 0}};
    const HsvUnitAdjust a = hsv_unit_adjust(wide);
    expect_same(
        "color_hsv_m gain 60", px, [&](const Frame& f) { color_hsv_unit(f, all, wide); },
        [&](PIXEL_YC& p) { color_hsv_unit_pixel(p, a); });
}

// color_hsv_m's double lanes against its routine: gains that carry the hue
// many turns (the wrap), a zero S gain (grey, and 0 times an infinite S of
// a zero maximum: NaN), and gains large enough to overflow the int range.
TEST(HsvGuardExact, ColorHsvUnitLanes) {
    const ColorAdjust adjusts[] = {
        {{1, 1, 1}, {0, 0, 0}},
        {{1.1, 0.9, 1.2}, {10, -5, 3}},
        {{-37.3, 0, 2}, {-35999, 0, -4096}},
        {{524287.9, -3.5, 524287.9}, {2e9, 4096, -2e9}},
        {{0.001, 7, -0.5}, {3599, -40000, 8192}},
    };
    const auto px = pick_pixels(17, 60000, [](const PIXEL_YC&) { return false; });
    for (const ColorAdjust& adjust : adjusts) {
        const Region all{0, 0, kW, static_cast<int>(px.size() / kW)};
        const HsvUnitAdjust a = hsv_unit_adjust(adjust);
        expect_same(
            "color_hsv_m gain " + std::to_string(adjust.gain[0]), px,
            [&](const Frame& f) { color_hsv_unit(f, all, adjust); },
            [&](PIXEL_YC& p) { color_hsv_unit_pixel(p, a); });
        expect_same(
            "color_hsv_m double lanes, gain " + std::to_string(adjust.gain[0]), px,
            [&](const Frame& f) { color_hsv_unit_double(f, all, adjust); },
            [&](PIXEL_YC& p) { color_hsv_unit_pixel(p, a); });
    }
}

// color_lab's double lanes differ from the double routine only in the cube
// root; the identity round trip puts every result next to a whole number,
// where that difference would show without the guard.
TEST(HsvGuardExact, ColorLabNextToWholeResults) {
    const ColorAdjust adjusts[] = {
        {{1, 1, 1}, {0, 0, 0}},
        {{1.1, 0.9, 1.2}, {10, -5, 3}},
        {{-3, 40, 0.01}, {150, -900, 77}},
        {{1e7, 1, 1}, {0, 0, 0}},  // beyond the bounds: per pixel
    };
    const auto px = pick_pixels(9, 60000, [](const PIXEL_YC&) { return false; });
    for (const ColorAdjust& adjust : adjusts) {
        const Region all{0, 0, kW, static_cast<int>(px.size() / kW)};
        expect_same(
            "color_lab gain " + std::to_string(adjust.gain[0]), px,
            [&](const Frame& f) { color_lab(f, all, adjust); },
            [&](PIXEL_YC& p) { color_lab_pixel(p, adjust); });
    }
}

// The L*a*b* graded masks: radii and weights that put many distances on the
// radii and ramps on whole grades.
TEST(HsvGuardExact, LabGradedMasks) {
    const auto px = pick_pixels(13, 60000, [](const PIXEL_YC&) { return false; });
    const int rows = static_cast<int>(px.size() / kW);
    GradedMask masks[4];
    masks[0].key_a[0] = 2048, masks[0].key_a[1] = -500, masks[0].key_a[2] = -300;
    masks[0].key_b[0] = 3500, masks[0].key_b[1] = 500, masks[0].key_b[2] = 300;
    masks[0].inner = 10, masks[0].outer = 40;
    masks[1] = masks[0];
    masks[1].inner = 0, masks[1].outer = 4096;  // a ramp of a grade per unit
    masks[2] = masks[0];
    masks[2].weight[0] = 0.5, masks[2].weight[2] = 3, masks[2].inner = 70, masks[2].outer = 20;
    masks[3] = masks[0];
    masks[3].weight[1] = 1e300, masks[3].outer = 1e308;  // beyond the bounds: per pixel
    for (GradedMask m : masks) {
        m.space = MaskSpace::Lab;
        const GradedKeys k = graded_keys(yc_to_lab(m.key_a[0], m.key_a[1], m.key_a[2]),
                                         yc_to_lab(m.key_b[0], m.key_b[1], m.key_b[2]),
                                         {m.weight[0], m.weight[1], m.weight[2]});
        for (bool line : {false, true}) {
            m.line = line;
            std::vector<PIXEL_YC> expected(px.size());
            for (std::size_t i = 0; i < px.size(); ++i) {
                if (line)
                    graded_pixel<true, false>(px[i], expected[i], mask_space::Lab{}, k, m.inner,
                                              m.outer);
                else
                    graded_pixel<false, false>(px[i], expected[i], mask_space::Lab{}, k, m.inner,
                                               m.outer);
            }
            for_each_target([&](const std::string& target) {
                std::vector<PIXEL_YC> in = px, out(px.size());
                graded_mask(Frame{in.data(), kW, rows}, Frame{out.data(), kW, rows},
                            PairArea{0, 0, 0, 0, kW, rows}, m);
                int shown = 0;
                for (std::size_t i = 0; i < out.size() && shown < 3; ++i)
                    if (out[i].y != expected[i].y || out[i].cb != 0 || out[i].cr != 0) {
                        ++shown;
                        ADD_FAILURE() << "mkmask_" << (line ? "l" : "p") << "_lab inner "
                                      << m.inner << " on " << target << ": (" << px[i].y << ", "
                                      << px[i].cb << ", " << px[i].cr << ") gave " << out[i].y
                                      << ", expected " << expected[i].y;
                    }
            });
        }
    }
}

// merge_near_lab and mkmask_near_lab against their per-pixel rule (the
// distances through yc_to_lab, the weight through near_weight): hard
// choices (A and B often the same pixel, so equal distances), weights, a
// negative multiplier, and exponents the lanes do not take.
TEST(HsvGuardExact, NearMergesInLab) {
    const auto pa = pick_pixels(21, 25000, [](const PIXEL_YC&) { return false; });
    auto pb = pick_pixels(22, static_cast<int>(pa.size()), [](const PIXEL_YC&) { return false; });
    pb.resize(pa.size());
    for (std::size_t i = 0; i < pb.size(); i += 5) pb[i] = pa[i];
    const int rows = static_cast<int>(pa.size() / kW);
    NearMerge cases[5];
    for (NearMerge& m : cases) m.lab = true, m.key[0] = 2048, m.key[1] = 300, m.key[2] = -200;
    cases[1].exponent = 1;
    cases[2].exponent = 1, cases[2].weight[0] = 0.2, cases[2].weight[2] = 7, cases[2].multiplier = -3;
    cases[3].exponent = 2.5;
    cases[4].weight[1] = 1e300;  // beyond the bounds
    for (const NearMerge& m : cases)
        for (bool mask : {false, true}) {
            std::vector<PIXEL_YC> expected(pa.size());
            {
                std::vector<PIXEL_YC> a = pa, b = pb;
                pool::set_worker_count(1);
                // The rule itself: distances pixel by pixel, then near_weight.
                for (std::size_t i = 0; i < pa.size(); ++i) {
                    const auto lab_of = [&](const PIXEL_YC& q) {
                        const Triple key = yc_to_lab(m.key[0], m.key[1], m.key[2]);
                        const Triple lab = yc_to_lab(q.y, q.cb, q.cr);
                        const double el = m.weight[0] * (lab.a - key.a),
                                     ea = m.weight[2] * (lab.b - key.b),
                                     eb = m.weight[1] * (lab.c - key.c);
                        return std::sqrt(el * el + ea * ea + eb * eb) * m.multiplier;
                    };
                    const double da = lab_of(a[i]), db = lab_of(b[i]);
                    const double t = near_weight(da, db, m.exponent);
                    if (mask) {
                        expected[i] = {static_cast<std::int16_t>(
                                           m.exponent == 0 ? (db > da ? 4096 : 0)
                                                           : trunc_to_int(t * 4096)),
                                       0, 0};
                    } else if (m.exponent == 0) {
                        expected[i] = db > da ? a[i] : b[i];
                    } else {
                        // A component both images hold is kept as it is.
                        const auto blend = [&](std::int16_t x, std::int16_t z) {
                            return x == z ? x : to_component(t * x + (1 - t) * z);
                        };
                        expected[i] = {blend(a[i].y, b[i].y), blend(a[i].cb, b[i].cb),
                                       blend(a[i].cr, b[i].cr)};
                    }
                }
            }
            for_each_target([&](const std::string& target) {
                std::vector<PIXEL_YC> a = pa, b = pb, out(pa.size());
                const Frame fa{a.data(), kW, rows}, fb{b.data(), kW, rows}, fo{out.data(), kW, rows};
                const TripleArea all{0, 0, 0, 0, 0, 0, kW, rows};
                (mask ? mask_near : merge_near)(fa, fb, fo, all, m);
                int shown = 0;
                for (std::size_t i = 0; i < out.size() && shown < 3; ++i)
                    if (out[i].y != expected[i].y || out[i].cb != expected[i].cb ||
                        out[i].cr != expected[i].cr) {
                        ++shown;
                        ADD_FAILURE() << (mask ? "mkmask" : "merge") << "_near_lab exponent "
                                      << m.exponent << " on " << target << " at " << i << ": got "
                                      << out[i].y << " " << out[i].cb << " " << out[i].cr
                                      << ", expected " << expected[i].y << " " << expected[i].cb
                                      << " " << expected[i].cr;
                    }
            });
            pool::set_worker_count(2);
        }
}
