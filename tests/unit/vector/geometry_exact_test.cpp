// mosaic's row sums and the bilinear taps of resize, rotate and affine
// against their pixel-by-pixel definitions, bit for bit, on every
// instruction set this machine runs.  The pictures hold the ends of the
// 16-bit range (where the taps' 32-bit sums are largest) as well as any
// value.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "each_target.h"
#include "geometry/mosaic.h"
#include "geometry/resample.h"
#include "geometry_reference.h"
#include "mask_test_util.h"

namespace {

// Pixels of -32768 or 32767 or anything, each component on its own.
TestFrame extreme_frame(int w, int h, unsigned seed) {
    TestFrame f(w, h);
    std::mt19937 rng(seed);
    auto value = [&] {
        const unsigned kind = rng() % 4;
        return static_cast<std::int16_t>(kind == 0 ? -32768 : kind == 1 ? 32767 : rng());
    };
    for (auto& p : f.pixels) p = {value(), value(), value()};
    return f;
}

constexpr int kW = 53, kH = 31;

TEST(GeometryKernelsExact, ResizeRotateAndAffine) {
    std::mt19937 rng(17);
    auto pick = [&](int lo, int hi) {
        return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1));
    };
    TestFrame pictures[] = {extreme_frame(kW, kH, 1), varied_frame(kW, kH, 2)};
    for (int n = 0; n < 36; ++n) {
        TestFrame& src = pictures[n % 2];
        ResizeJob resize{pick(-10, 40), pick(-10, 25), pick(1, 70),  pick(1, 40),
                         pick(-10, 40), pick(-10, 25), pick(1, 110), pick(1, 60)};
        RotateJob rotate{pick(-700, 700) / 100.0,
                         pick(-5, 30),
                         pick(-5, 20),
                         pick(-10, 40),
                         pick(-10, 25),
                         pick(1, 60),
                         pick(1, 35),
                         pick(-10, 40),
                         pick(-10, 25)};
        AffineJob affine{pick(-10, 40), pick(-10, 25), pick(1, 60), pick(1, 35), {}};
        for (double& v : affine.m) v = pick(-3000, 3000) / 1000.0;
        affine.m[2] *= 10, affine.m[5] *= 10;
        TestFrame want[3] = {varied_frame(kW, kH, 3), varied_frame(kW, kH, 3),
                             varied_frame(kW, kH, 3)};
        reference_resize(src, want[0], resize);
        reference_rotate(src, want[1], rotate);
        reference_affine(src, want[2], affine);
        for_each_target([&](const std::string& target) {
            TestFrame got[3] = {varied_frame(kW, kH, 3), varied_frame(kW, kH, 3),
                                varied_frame(kW, kH, 3)};
            resize_region(src.frame, got[0].frame, resize);
            rotate_region(src.frame, got[1].frame, rotate);
            affine_region(src.frame, got[2].frame, affine);
            for (int k = 0; k < 3; ++k)
                EXPECT_TRUE(same_frames(got[k], want[k])) << "case " << n << ": "
                                                          << (k == 0   ? "resize"
                                                              : k == 1 ? "rotate"
                                                                       : "affine")
                                                          << " on " << target;
        });
    }
}

TEST(GeometryKernelsExact, MosaicSums) {
    // Blocks wider than a vector of sums and narrower, and sums near the
    // 32-bit limit of a column (a block of many rows of extremes).
    TestFrame src = extreme_frame(kW, 700, 5);
    const MosaicRegion cases[] = {{0, 0, kW, 700, 0, 0, 4, 3},
                                  {-7, -3, 40, 600, 5, 2, 37, 5},
                                  {3, 1, 50, 699, 0, 0, 1, 1},
                                  {0, 0, kW, 700, 0, 0, kW, 700},
                                  {1, 2, 52, 650, 2, 1, 17, 333}};
    for (const MosaicRegion& r : cases) {
        TestFrame want = varied_frame(kW, 700, 9);
        mosaic_directly(src, want, r);
        for_each_target([&](const std::string& target) {
            TestFrame got = varied_frame(kW, 700, 9);
            ASSERT_TRUE(mosaic(src.frame, got.frame, r));
            EXPECT_TRUE(same_frames(got, want))
                << "mosaic " << r.bw << "x" << r.bh << " on " << target;
        });
    }
}

}  // namespace
