// mkmask_hsv's single-precision lanes against the per-pixel double rule, on
// every instruction set this machine runs.  The pixels are picked where the
// double H, S or V lies next to a whole number (where a float truncation
// could land on the other side), plus clipped and grey colours, whose values
// the float form takes as exact; the boxes make every truncation show in
// the grade: a soft margin wider than the component's range turns the
// truncated value itself into the grade.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <string>
#include <vector>

#include "buffers/frame.h"
#include "color/convert.h"
#include "each_target.h"
#include "mask/key_mask.h"
#include "mask/key_pixel.h"
#include "platform/thread_pool.h"

namespace {

constexpr int kW = 333;

double to_whole(double x) { return std::fabs(x - std::nearbyint(x)); }

// Nominal pixels whose double H, S or V lies within 2e-3 of a whole
// number, then clipped colours (channels beyond 0 or 4096, alike or not)
// and greys, then random ones, to a whole number of rows.
std::vector<PIXEL_YC> near_cut_pixels() {
    std::vector<PIXEL_YC> px;
    std::uint32_t s = 2024;
    const auto next = [&s](int lo, int hi) {
        s = s * 1664525u + 1013904223u;
        return lo + static_cast<int>((s >> 8) % static_cast<unsigned>(hi - lo + 1));
    };
    for (int n = 0; n < 3000000 && px.size() < 30000; ++n) {
        const PIXEL_YC p{static_cast<short>(next(0, 4096)), static_cast<short>(next(-2048, 2048)),
                         static_cast<short>(next(-2048, 2048))};
        const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
        const Triple hsv = rgb_to_hsv(rgb.a, rgb.b, rgb.c);
        if (to_whole(hsv.a) < 2e-3 || to_whole(hsv.b) < 2e-3 || to_whole(hsv.c) < 2e-3)
            px.push_back(p);
    }
    for (int y : {-100, 0, 1, 2048, 4095, 4096, 4200})
        for (int cb = -2048; cb <= 2048; cb += 128)
            for (int cr = -2048; cr <= 2048; cr += 64)
                px.push_back({static_cast<short>(y), static_cast<short>(cb), static_cast<short>(cr)});
    while (px.size() % kW != 0)
        px.push_back({static_cast<short>(next(-300, 4400)), static_cast<short>(next(-2300, 2300)),
                      static_cast<short>(next(-2300, 2300))});
    return px;
}

KeyBox box(int l1, int l2, int l3, int u1, int u2, int u3, int margin) {
    KeyBox b;
    b.lower[0] = l1, b.lower[1] = l2, b.lower[2] = l3;
    b.upper[0] = u1, b.upper[1] = u2, b.upper[2] = u3;
    b.in = 32767, b.out = -32768, b.margin = margin;
    return b;
}

}  // namespace

TEST(KeyHsvGuard, EveryTruncationOfHSAndVIsTheDoubleRoutines) {
    const std::vector<PIXEL_YC> input = near_cut_pixels();
    ASSERT_GT(input.size(), 30000u);
    const int h = static_cast<int>(input.size() / kW);
    const KeyBox boxes[] = {
        box(0, 0, 0, 0, 4096, 4096, 5000),     // the grade falls with trunc(H)
        box(0, 0, 0, 3599, 0, 4096, 5000),     // with trunc(S)
        box(0, 0, 0, 3599, 4096, 0, 5000),     // with trunc(V)
        box(3000, 2000, 1000, 600, 4095, 4000, 3),  // a hue range through 0, narrow margins
        box(600, 1, 1, 1200, 4096, 4096, 0),   // hard edges on the hue cuts of clipped colours
    };
    std::vector<PIXEL_YC> expected(input.size());
    for (const KeyBox& b : boxes) {
        const KeyRule rule = key_rule(b, true);
        for (std::size_t k = 0; k < input.size(); ++k) key_pixel<KeySpace::Hsv>(input[k], expected[k], rule);
        for_each_target([&](const std::string& target) {
            for (int workers : {1, 2}) {
                pool::set_worker_count(workers);
                std::vector<PIXEL_YC> src = input, out(input.size());
                key_mask_hsv({src.data(), kW, h}, {out.data(), kW, h}, {0, 0, 0, 0, kW, h}, b);
                int shown = 0;
                for (std::size_t k = 0; k < out.size() && shown < 3; ++k)
                    if (out[k].y != expected[k].y || out[k].cb != 0 || out[k].cr != 0)
                        ADD_FAILURE() << target << " box lower " << b.lower[0] << "," << b.lower[1]
                                      << "," << b.lower[2] << " pixel (" << input[k].y << ", "
                                      << input[k].cb << ", " << input[k].cr << "): got "
                                      << out[k].y << ", expected " << expected[k].y
                                      << (++shown, "");
            }
        });
    }
    pool::set_worker_count(2);
}

// The soft margin's ramp in double lanes: every excess from 0 to past the
// margin (mkmask's components are the stored values, so Y gives the
// excess), for margins and in/out values where the division rounds.
TEST(KeyHsvGuard, EveryExcessOnTheSoftMarginGradesAsThePerPixelRule) {
    std::vector<PIXEL_YC> input;
    for (int y = -7000; y <= 7000; ++y) input.push_back({static_cast<short>(y), 0, 0});
    while (input.size() % kW != 0) input.push_back({0, 0, 0});
    const int h = static_cast<int>(input.size() / kW);
    const int in_out[][2] = {{32767, -32768}, {4096, 0}, {0, 4096}, {1234, -77}, {-3, 3}};
    for (int margin : {1, 3, 7, 37, 100, 999, 4096, 6999})
        for (const auto& io : in_out) {
            KeyBox b = box(0, -5, -5, 0, 5, 5, margin);
            b.in = static_cast<std::int16_t>(io[0]), b.out = static_cast<std::int16_t>(io[1]);
            for_each_target([&](const std::string& target) {
                std::vector<PIXEL_YC> src = input, out(input.size());
                key_mask_yc({src.data(), kW, h}, {out.data(), kW, h}, {0, 0, 0, 0, kW, h}, b);
                for (std::size_t k = 0; k < out.size(); ++k)
                    if (out[k].y != key_grade_of_excess(std::abs(input[k].y), b)) {
                        ADD_FAILURE() << target << " margin " << margin << " in " << io[0]
                                      << " out " << io[1] << " excess " << input[k].y;
                        break;
                    }
            });
        }
}
