// The row conversions of the work-plane copies agree with the one-pixel
// formulas for every kind of value, in the vector blocks and their tails.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "buffers/numeric.h"
#include "buffers/pixel_format.h"
#include "buffers/plane_rows.h"

TEST(PlaneRows, RowConversionsMatchThePixelFormulas) {
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> any(-32768, 32767);
    for (std::size_t n : {1u, 8u, 13u, 203u}) {
        std::vector<PIXEL_YC> yc(n);
        std::vector<mist::rgb<short>> rgb(n);
        std::vector<mist::rgb<float>> rgbf(n);
        for (std::size_t i = 0; i < n; ++i) {
            yc[i] = {static_cast<short>(any(rng)), static_cast<short>(any(rng)),
                     static_cast<short>(any(rng))};
            rgb[i] = {static_cast<short>(any(rng)), static_cast<short>(any(rng)),
                      static_cast<short>(any(rng))};
            rgbf[i] = {any(rng) * 1.37f, any(rng) * 0.001f, any(rng) * 1e5f};
        }
        rgbf[0].g = std::numeric_limits<float>::quiet_NaN();  // NaN converts to 0
        std::vector<mist::rgb<short>> to_rgb(n);
        std::vector<mist::rgb<float>> to_rgbf(n);
        std::vector<PIXEL_YC> from_rgb(n), from_rgbf(n);
        yc_to_rgb_row(yc.data(), to_rgb.data(), n);
        yc_to_rgbf_row(yc.data(), to_rgbf.data(), n);
        rgb_to_yc_row(rgb.data(), from_rgb.data(), n);
        rgbf_to_yc_row(rgbf.data(), from_rgbf.data(), n);
        for (std::size_t i = 0; i < n; ++i) {
            const Triple a = yc_to_rgb(yc[i].y, yc[i].cb, yc[i].cr);
            ASSERT_EQ(to_rgb[i],
                      (mist::rgb<short>{to_component(a.a), to_component(a.b), to_component(a.c)}))
                << i;
            ASSERT_EQ(to_rgbf[i], (mist::rgb<float>{float(a.a), float(a.b), float(a.c)})) << i;
            const Triple b = rgb_to_yc(rgb[i].r, rgb[i].g, rgb[i].b);
            ASSERT_EQ(from_rgb[i].y, to_component(b.a));
            ASSERT_EQ(from_rgb[i].cb, to_component(b.b));
            ASSERT_EQ(from_rgb[i].cr, to_component(b.c));
            const Triple c = rgb_to_yc(rgbf[i].r, rgbf[i].g, rgbf[i].b);
            ASSERT_EQ(from_rgbf[i].y, to_component(c.a)) << i;
            ASSERT_EQ(from_rgbf[i].cb, to_component(c.b)) << i;
            ASSERT_EQ(from_rgbf[i].cr, to_component(c.c)) << i;
        }
    }
}
