// median's window is bounded by its region: a window larger than the region
// acts as the region's (made odd as any size), so one call costs at most the
// region's pixels times its size, not times the buffer's.
#include <gtest/gtest.h>

#include <random>

#include "lua_fixture.h"

namespace {

class MedianWindow : public LuaFixture {};

TEST_F(MedianWindow, AWindowLargerThanTheRegionIsTheRegion) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> y(0, 4096), c(-2048, 2048);
    const Frame f = frame(0);
    for (std::size_t i = 0; i < f.pixel_count(); ++i)
        f.pixels[i] = {static_cast<short>(y(rng)), static_cast<short>(c(rng)),
                       static_cast<short>(c(rng))};
    // A 20 x 10 region inside a 64 x 48 picture: before, 1000 x 1000 acted
    // as the buffer's 65 x 49 and read far beyond the region.
    ASSERT_EQ(run("median(0, 2, 10, 10, 20, 10, 0, 0, 1000, 1000)"), "");
    ASSERT_EQ(run("median(0, 3, 10, 10, 20, 10, 0, 0, 20, 10)"), "");
    ASSERT_EQ(run("median(0, 4, 10, 10, 20, 10, 0, 0, 18, 8)"), "");
    int same = 0, differs_from_smaller = 0;
    for (int yy = 0; yy < 10; ++yy)
        for (int x = 0; x < 20; ++x) {
            const PIXEL_YC a = frame(2).at(x, yy), b = frame(3).at(x, yy), s = frame(4).at(x, yy);
            same += a.y == b.y && a.cb == b.cb && a.cr == b.cr;
            differs_from_smaller += a.y != s.y || a.cb != s.cb || a.cr != s.cr;
        }
    EXPECT_EQ(same, 200);
    EXPECT_GT(differs_from_smaller, 0);  // the region's size is no clamp below it
}

}  // namespace
