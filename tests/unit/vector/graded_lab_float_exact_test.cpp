// mkmask_p_lab and mkmask_l_lab in single-precision lanes against the
// per-pixel double rule (graded_pixel), bit for bit, on every instruction
// set this machine runs: random pixels and any 16-bit values, pixels lying
// exactly on the inner or the outer radius, ramps next to whole grades,
// and pixels whose cube-root argument lies next to the knee.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "buffers/frame.h"
#include "color/convert.h"
#include "each_target.h"
#include "lab_pixels.h"
#include "mask/color_spaces.h"
#include "mask/graded_mask.h"
#include "mask/graded_pixel.h"
#include "platform/thread_pool.h"

namespace {

constexpr int kW = 509;

GradedMask lab_mask(bool line, double inner, double outer, double w1, double w2, double w3) {
    GradedMask m;
    m.space = MaskSpace::Lab;
    m.line = line;
    m.key_a[0] = 2048, m.key_a[1] = -500, m.key_a[2] = -300;
    m.key_b[0] = 3500, m.key_b[1] = 500, m.key_b[2] = 300;
    m.inner = inner, m.outer = outer;
    m.weight[0] = w1, m.weight[1] = w2, m.weight[2] = w3;
    return m;
}

GradedKeys keys_of(const GradedMask& m) {
    return graded_keys(yc_to_lab(m.key_a[0], m.key_a[1], m.key_a[2]),
                       yc_to_lab(m.key_b[0], m.key_b[1], m.key_b[2]),
                       {m.weight[0], m.weight[1], m.weight[2]});
}

double distance(const GradedMask& m, const PIXEL_YC& p) {
    const GradedKeys k = keys_of(m);
    const Triple lab = yc_to_lab(p.y, p.cb, p.cr);
    return m.line ? graded_distance<true, false>(lab, k) : graded_distance<false, false>(lab, k);
}

PIXEL_YC rule(const GradedMask& m, const PIXEL_YC& p) {
    PIXEL_YC out{};
    const GradedKeys k = keys_of(m);
    if (m.line)
        graded_pixel<true, false>(p, out, mask_space::Lab{}, k, m.inner, m.outer);
    else
        graded_pixel<false, false>(p, out, mask_space::Lab{}, k, m.inner, m.outer);
    return out;
}

// Nominal pixels with a margin, and every 19th any 16-bit value.
std::vector<PIXEL_YC> random_pixels(std::uint32_t seed, int count) {
    LabLcg rng{seed};
    std::vector<PIXEL_YC> px;
    for (int n = 0; n < count; ++n)
        px.push_back(n % 19 == 3 ? lab_pixel(rng.next(-32768, 32767), rng.next(-32768, 32767),
                                             rng.next(-32768, 32767))
                                 : random_lab_pixel(rng));
    return px;
}

// The mask on every target against the rule; the first few differences
// reported.
void expect_rule(const std::string& what, std::vector<PIXEL_YC> px, const GradedMask& m) {
    LabLcg rng{3};
    while (px.size() % kW != 0) px.push_back(lab_pixel(rng.next(0, 4096), 0, 0));
    const int rows = static_cast<int>(px.size() / kW);
    std::vector<PIXEL_YC> expected(px.size());
    for (std::size_t i = 0; i < px.size(); ++i) expected[i] = rule(m, px[i]);
    pool::set_worker_count(1);
    for_each_target([&](const std::string& target) {
        std::vector<PIXEL_YC> in = px, out(px.size());
        graded_mask(Frame{in.data(), kW, rows}, Frame{out.data(), kW, rows},
                    PairArea{0, 0, 0, 0, kW, rows}, m);
        int shown = 0;
        for (std::size_t i = 0; i < out.size() && shown < 3; ++i)
            if (out[i].y != expected[i].y || out[i].cb != 0 || out[i].cr != 0)
                ADD_FAILURE() << what << (m.line ? " line" : " point") << " inner " << m.inner
                              << " outer " << m.outer << " on " << target << ": (" << px[i].y
                              << ", " << px[i].cb << ", " << px[i].cr << ") gave " << out[i].y
                              << ", expected " << expected[i].y << (++shown, "");
    });
    pool::set_worker_count(2);
}

}  // namespace

// Radii and weights of every kind the float lanes take, reversed radii,
// and weights they leave to the double lanes.
TEST(GradedLabFloatExact, RandomAndKneePixels) {
    auto px = random_pixels(41, 20000);
    const auto knees = knee_pixels(3e-6, 7);
    EXPECT_GT(knees.size(), 1000u);
    px.insert(px.end(), knees.begin(), knees.end());
    for (bool line : {false, true})
        for (const GradedMask& m :
             {lab_mask(line, 10, 40, 1, 1, 1), lab_mask(line, 0, 4096, 1, 1, 1),
              lab_mask(line, 70, 20, 0.5, 1, 3), lab_mask(line, 5, 300, 0, 2, 1e-6),
              lab_mask(line, 10, 40, 1e-7, 1, 1)})
            expect_rule("random", px, m);
}

// Pixels of a pool on the radii: the radii are the double distances of
// pool pixels, so those pixels meet them exactly (a grade of 4096 on the
// inner radius, 0 on the outer), or nearly, and their neighbours in
// distance lie within the float bound of them.
TEST(GradedLabFloatExact, PixelsOnTheRadii) {
    const auto pool = random_pixels(43, 8000);
    for (bool line : {false, true}) {
        GradedMask m = lab_mask(line, 0, 1, 1, 1, 1);
        std::vector<std::pair<double, PIXEL_YC>> sorted;
        for (const PIXEL_YC& p : pool) sorted.emplace_back(distance(m, p), p);
        std::sort(sorted.begin(), sorted.end(),
                  [](const auto& x, const auto& y) { return x.first < y.first; });
        for (std::size_t at : {sorted.size() / 8, sorted.size() / 3, sorted.size() / 2}) {
            const double inner = sorted[at].first, outer = sorted[at + sorted.size() / 4].first;
            // On the radii, just inside them (by 3e-6 of the radius: the
            // double rule sees the pixel in the ramp, the float distance
            // may not), and reversed (no ramp: 4096 up to inner).
            for (double shift : {0.0, 3e-6, -3e-6}) {
                m.inner = inner * (1 - shift), m.outer = outer * (1 + shift);
                expect_rule("on the radii", pool, m);
                m.inner = outer * (1 - shift), m.outer = inner;
                expect_rule("on reversed radii", pool, m);
            }
        }
    }
}

// Ramps next to whole grades: with inner 0 and outer 4096 the ramp is
// 4096 - d, so pixels whose double distance lies within 0.002 of a whole
// number put it there; and with a narrow ramp (inner 20, outer 24) each
// 1/1024 of distance is a grade.
TEST(GradedLabFloatExact, RampsNextToWholeGrades) {
    const auto pool = random_pixels(47, 200000);
    for (bool line : {false, true}) {
        GradedMask m = lab_mask(line, 0, 4096, 1, 1, 1);
        std::vector<PIXEL_YC> near;
        for (const PIXEL_YC& p : pool) {
            const double d = distance(m, p);
            if (std::fabs(d - std::nearbyint(d)) < 0.002) near.push_back(p);
        }
        EXPECT_GT(near.size(), 300u);
        expect_rule("whole ramp", near, m);
        m.inner = 20, m.outer = 24;
        std::vector<PIXEL_YC> in_ramp;
        for (const PIXEL_YC& p : pool) {
            const double d = distance(m, p);
            if (d > 19 && d < 25) in_ramp.push_back(p);
        }
        EXPECT_GT(in_ramp.size(), 300u);
        expect_rule("narrow ramp", in_ramp, m);
    }
}
