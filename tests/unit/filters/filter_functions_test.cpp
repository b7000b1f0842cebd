// The scripts' spatial filters and OpenCV bridge: worked numbers, OpenCV
// cross-checks where the jobs coincide, the edge rules, same-buffer
// overlap, and the argument errors.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <tuple>

#include "buffers/numeric.h"
#include "buffers/pixel_format.h"
#include "lua_fixture.h"

namespace {

class FilterFunctions : public LuaFixture {
protected:
    // Buffer n: varied colours around the nominal ranges.
    void fill_varied(int n, std::uint32_t seed) {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> y(-100, 4200), c(-2100, 2100);
        const Frame f = frame(n);
        for (std::size_t i = 0; i < f.pixel_count(); ++i)
            f.pixels[i] = {static_cast<short>(y(rng)), static_cast<short>(c(rng)),
                           static_cast<short>(c(rng))};
    }
    void fill(int n, PIXEL_YC p) {
        const Frame f = frame(n);
        for (std::size_t i = 0; i < f.pixel_count(); ++i) f.pixels[i] = p;
    }
    void copy_buffer(int from, int to) {
        std::copy(frame(from).pixels, frame(from).pixels + frame(from).pixel_count(),
                  frame(to).pixels);
    }
    bool same_buffers(int a, int b) {
        for (std::size_t i = 0; i < frame(a).pixel_count(); ++i) {
            const PIXEL_YC p = frame(a).pixels[i], q = frame(b).pixels[i];
            if (p.y != q.y || p.cb != q.cb || p.cr != q.cr) return false;
        }
        return true;
    }
    static std::tuple<int, int, int> yc(const PIXEL_YC& p) { return {p.y, p.cb, p.cr}; }
    static std::tuple<int, int, int> yc_of_rgb(double r, double g, double b) {
        const Triple t = rgb_to_yc(r, g, b);
        return {to_component(t.a), to_component(t.b), to_component(t.c)};
    }
};

}  // namespace

TEST_F(FilterFunctions, LinearInteriorMatchesOpenCvFilter2DInDouble) {
    fill_varied(2, 1);
    ASSERT_EQ(run("linear(2, 3, 4, 3, 50, 40, 6, 5, {{1, 2, 1}, {2, 4, 2}, {1, 2, 1}})"), "");
    // The same RGB values in double, filtered with the normalised kernel
    // (its weights and every sum are exact, so the order of summing is not
    // seen).
    cv::Mat rgb(48, 64, CV_64FC3);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const PIXEL_YC p = frame(2).at(x, y);
            const Triple t = yc_to_rgb(p.y, p.cb, p.cr);
            rgb.at<cv::Vec3d>(y, x) = {double(to_component(t.a)), double(to_component(t.b)),
                                       double(to_component(t.c))};
        }
    const cv::Mat k = (cv::Mat_<double>(3, 3) << 1, 2, 1, 2, 4, 2, 1, 2, 1) / 16.0;
    cv::Mat want;
    cv::filter2D(rgb, want, CV_64F, k);
    for (int i = 0; i < 40; ++i)
        for (int j = 0; j < 50; ++j) {
            const cv::Vec3d v = want.at<cv::Vec3d>(3 + i, 4 + j);
            const int r = to_component(v[0]), g = to_component(v[1]), b = to_component(v[2]);
            ASSERT_EQ(yc(frame(3).at(6 + j, 5 + i)), yc_of_rgb(r, g, b)) << j << "," << i;
        }
}

TEST_F(FilterFunctions, LaplacianOfASinglePixelAndOfAFlatRegion) {
    fill(2, {0, 0, 0});
    frame(2).at(20, 20) = {4096, 0, 0};  // R = G = B = 4096
    fill(3, {1, 1, 1});
    ASSERT_EQ(run("laplacian(2, 3, 10, 10, 20, 20, 10, 10)"), "");
    EXPECT_EQ(yc(frame(3).at(20, 20)), yc_of_rgb(-32768, -32768, -32768));
    EXPECT_EQ(yc(frame(3).at(19, 21)), yc_of_rgb(4096, 4096, 4096));
    EXPECT_EQ(yc(frame(3).at(22, 20)), std::make_tuple(0, 0, 0));
    EXPECT_EQ(yc(frame(3).at(9, 10)), std::make_tuple(1, 1, 1));  // outside the region
    // A black pixel in white: 8 x 4096 does not fit 16 bits either.
    fill(2, {4096, 0, 0});
    frame(2).at(20, 20) = {0, 0, 0};
    ASSERT_EQ(run("laplacian(2, 3, 0, 0, 64, 48, 0, 0)"), "");
    EXPECT_EQ(yc(frame(3).at(20, 20)), yc_of_rgb(-32768, -32768, -32768));
    EXPECT_EQ(yc(frame(3).at(0, 0)), std::make_tuple(0, 0, 0));  // mirrored edges: flat
    EXPECT_EQ(yc(frame(3).at(63, 47)), std::make_tuple(0, 0, 0));
}

TEST_F(FilterFunctions, EveryFilterGivesOneResultWhenSourceAndDestinationOverlap) {
    const char* calls[] = {
        "linear(%s, %s, 3, 4, 40, 30, 9, 1, {{1, -2, 0.5}, {3, 1, 1}})",
        "laplacian(%s, %s, -3, 2, 40, 30, 9, 1)",
        "gaussian(%s, %s, 3, 4, 70, 30, 9, 1, 1.5)",
        "defocus(%s, %s, 3, 4, 40, 30, 9, 1, 5, 3)",
        "median(%s, %s, 3, 4, 40, 30, 9, 1, 5, 5)",
        "median(%s, %s, 3, 4, 40, 30, 9, 1, 3, 7)",
        "ocvtest(%s, %s, 3, 4, 40, 30, 9, 1)",
        "cvcanny(%s, %s, 3, 4, 40, 30, 9, 1, 100, 300)",
    };
    for (const char* call : calls) {
        fill_varied(2, 3);
        copy_buffer(2, 3);
        copy_buffer(2, 4);
        char two[200], one[200];
        std::snprintf(two, sizeof two, call, "2", "3");
        std::snprintf(one, sizeof one, call, "4", "4");
        ASSERT_EQ(run(two), "") << two;
        ASSERT_EQ(run(one), "") << one;
        EXPECT_TRUE(same_buffers(3, 4)) << call;
    }
}

TEST_F(FilterFunctions, GaussianKeepsAFlatRegionFlatUpToOneUnit) {
    fill(2, {1000, 300, -200});
    ASSERT_EQ(run("gaussian(2, 3, 0, 0, 30, 20, 0, 0, 2)"), "");
    // Renormalised where the region's edges cut the kernel, so the corners
    // stay as flat as the middle; truncation may take one unit toward 0.
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) {
            const auto [Y, cb, cr] = yc(frame(3).at(x, y));
            ASSERT_TRUE(Y >= 999 && Y <= 1000 && cb >= 299 && cb <= 300 && cr >= -200 && cr <= -199)
                << x << "," << y << ": " << Y << " " << cb << " " << cr;
        }
}

TEST_F(FilterFunctions, DefocusCutsItsBoxAtThePictureAndClampsItsSize) {
    fill(2, {0, 0, 0});
    for (int y = 0; y < 48; ++y) frame(2).at(0, y) = {3000, 0, 0};  // column 0 bright
    ASSERT_EQ(run("defocus(2, 3, 0, 0, 4, 4, 0, 0, 3, 3)"), "");
    // Column 0's box covers columns 0 and 1 only: (3000 + 0) / 2.
    EXPECT_EQ(frame(3).at(0, 2).y, std::get<0>(yc_of_rgb(1500, 1500, 1500)));
    EXPECT_EQ(frame(3).at(1, 2).y, std::get<0>(yc_of_rgb(1000, 1000, 1000)));
    // Sizes below 1 act as 1: a plain round trip through RGB.
    fill_varied(2, 5);
    ASSERT_EQ(run("defocus(2, 3, 0, 0, 64, 48, 0, 0, 1, 1)"), "");
    ASSERT_EQ(run("defocus(2, 4, 0, 0, 64, 48, 0, 0, 0, -7)"), "");
    EXPECT_TRUE(same_buffers(3, 4));
    // A region wholly outside the picture writes nothing.
    fpip.w = 32;
    fill(5, {7, 7, 7});
    ASSERT_EQ(run("defocus(2, 5, 40, 0, 10, 10, 0, 0, 3, 3)"), "");
    EXPECT_EQ(yc(frame(5).at(0, 0)), std::make_tuple(7, 7, 7));
}

TEST_F(FilterFunctions, DiffusePicksNearbyPicturePixelsFoldedAtTheEdges) {
    // Every pixel tells where it is; the last pixel of each row (what a
    // read of column -1 would find) is marked.
    auto where = [](int x, int y) {
        return PIXEL_YC{static_cast<short>(x), static_cast<short>(y), 0};
    };
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) frame(2).at(x, y) = where(x, y);
    ASSERT_EQ(run("diffuse(2, 3, 0, 0, 64, 48, 0, 0, 0, 0)"), "");
    EXPECT_TRUE(same_buffers(2, 3));
    ASSERT_EQ(run("diffuse(2, 3, 0, 0, 2, 48, 0, 0, 2, 0)"), "");
    std::set<int> columns;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 2; ++x) {
            columns.insert(frame(3).at(x, y).y);
            EXPECT_EQ(frame(3).at(x, y).cb, y);
        }
    EXPECT_EQ(columns, (std::set<int>{0, 1, 2, 3}));  // -1 and -2 read columns 1 and 2
    // In place: every pick is an original pixel within reach, never one
    // this call has already replaced.
    ASSERT_EQ(run("diffuse(2, 2, 0, 0, 64, 48, 0, 0, 3, 3)"), "");
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const PIXEL_YC p = frame(2).at(x, y);
            auto reach = [](int from, int to, int length) {
                const int d = std::abs(from - to);
                return d <= 3 || (from < 3 && from + to <= 3) ||
                       (from > length - 4 && 2 * length - 1 - from - to <= 3);
            };
            ASSERT_TRUE(reach(x, p.y, 64) && reach(y, p.cb, 48)) << x << "," << y;
        }
}

TEST_F(FilterFunctions, MedianTreatsNegativeWindowsAsOneAndEvenOnesAsTheNextOdd) {
    fill_varied(2, 9);
    ASSERT_EQ(run("median(2, 3, 0, 0, 64, 48, 0, 0, 1, 1)"), "");
    ASSERT_EQ(run("median(2, 4, 0, 0, 64, 48, 0, 0, -5, 0)"), "");
    EXPECT_TRUE(same_buffers(3, 4));
    ASSERT_EQ(run("median(2, 3, 0, 0, 64, 48, 0, 0, 4, 2)"), "");
    ASSERT_EQ(run("median(2, 4, 0, 0, 64, 48, 0, 0, 5, 3)"), "");
    EXPECT_TRUE(same_buffers(3, 4));
}

TEST_F(FilterFunctions, CannyMatchesOpenCvOnTheSamePlaneAndWritesAMask) {
    // Shapes of several grey levels, some outside 0..4095.
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool disc = (x - 30) * (x - 30) + (y - 20) * (y - 20) < 150;
            frame(2).at(x, y) = {static_cast<short>(disc ? 5000 : (x > 45 ? 1200 + 40 * y : -30)),
                                 9, 9};
        }
    fill(3, {1, 2, 3});
    ASSERT_EQ(run("cvcanny(2, 3, 2, 1, 60, 45, 3, 2, 40, 120, 5)"), "");
    cv::Mat plane(45, 60, CV_8U), edges;
    for (int i = 0; i < 45; ++i)
        for (int j = 0; j < 60; ++j) {
            const double v = frame(2).at(2 + j, 1 + i).y * 0.0625;
            plane.at<std::uint8_t>(i, j) = static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    cv::Canny(plane, edges, 40, 120, 5, false);
    int edge_pixels = 0;
    for (int i = 0; i < 45; ++i)
        for (int j = 0; j < 60; ++j) {
            const int e = edges.at<std::uint8_t>(i, j);
            edge_pixels += e != 0;
            ASSERT_EQ(yc(frame(3).at(3 + j, 2 + i)), std::make_tuple(e * 16, 0, 0))
                << j << "," << i;
        }
    EXPECT_GT(edge_pixels, 50);
    EXPECT_EQ(yc(frame(3).at(2, 2)), std::make_tuple(1, 2, 3));
    // A flat region has no edge.
    fill(2, {2000, 5, 5});
    ASSERT_EQ(run("cvcanny(2, 3, 0, 0, 20, 20, 0, 0, 10, 20)"), "");
    EXPECT_EQ(yc(frame(3).at(10, 10)), std::make_tuple(0, 0, 0));
}

TEST_F(FilterFunctions, OcvTestTurnsTheRegionUpsideDownAndTwiceRestoresIt) {
    fill_varied(2, 4);
    copy_buffer(2, 3);
    ASSERT_EQ(run("ocvtest(2, 2, 5, 6, 30, 20, 5, 6)"), "");
    EXPECT_EQ(yc(frame(2).at(7, 6)), yc(frame(3).at(7, 25)));
    EXPECT_EQ(yc(frame(2).at(34, 25)), yc(frame(3).at(34, 6)));
    ASSERT_EQ(run("ocvtest(2, 2, 5, 6, 30, 20, 5, 6)"), "");
    EXPECT_TRUE(same_buffers(2, 3));
    // Partly outside the buffer: the uncovered part of the image is 0.
    ASSERT_EQ(run("ocvtest(2, 4, -3, 40, 10, 10, 0, 0)"), "");
    EXPECT_EQ(yc(frame(4).at(0, 0)), std::make_tuple(0, 0, 0));  // image row 9: beyond the buffer
    EXPECT_EQ(yc(frame(4).at(3, 2)), yc(frame(2).at(0, 47)));    // image row 7 is source row 47
    EXPECT_EQ(yc(frame(4).at(2, 9)),
              std::make_tuple(0, 0, 0));  // image column 2: left of the buffer
}

TEST_F(FilterFunctions, ArgumentErrorsComeBeforeAnyPixelChanges) {
    fill(3, {5, 5, 5});
    const std::pair<const char*, const char*> cases[] = {
        {"linear(2, 3, 0, 0, 8, 8, 0, 0)", "wrong number of argument"},
        {"laplacian(2, 3, 0, 0, 8, 8, 0, 0, 1)", "wrong number of argument"},
        {"gaussian(2, 3, 0, 0, 8, 8, 0, 0)", "wrong number of argument"},
        {"defocus(2, 3, 0, 0, 8, 8, 0, 0, 3)", "wrong number of argument"},
        {"diffuse(2, 3, 0, 0, 8, 8, 0, 0, 3)", "wrong number of argument"},
        {"median(2, 3, 0, 0, 8, 8, 0, 0, 3, 3, 3)", "wrong number of argument"},
        {"cvcanny(2, 3, 0, 0, 8, 8, 0, 0, 1)", "wrong number of argument"},
        {"ocvtest(2, 3, 0, 0, 8, 8, 0)", "wrong number of argument"},
        {"linear(2, 3, 0, 0, 8, 8, 0, 0, {})", "テーブルの形式が不適切です"},
        {"linear(2, 3, 0, 0, 0, 8, 0, 0, {1})", "テーブルの形式が不適切です"},
        {"linear(2, 3, 0, 0, 8, 8, 0, 0, {{1}, 2})", "attempt to index a number value"},
        {"linear(2, 3, 0, 0, 8, 8, 0, 0, 5)", "table expected"},
        {"gaussian(2, 3, 0, 0, 8, 8, 0, 0, -0.5)", "sigma must be"},
        {"gaussian(2, 3, 0, 0, 8, 8, 0, 0, 0/0)", "sigma must be"},
        {"gaussian(2, 3, 0, 0, 8, 8, 0, 0, 1/0)", "sigma must be"},
        {"median(2, 3, 0, 0, 8, 8, 0, 0, 'x', 3)", "number expected"},
        {"defocus(99, 3, 0, 0, 8, 8, 0, 0, 3, 3)", "バッファが存在しません[99]"},
        {"cvcanny(2, 3, 0, 0, 8, 8, 0, 0, 10, 20, 4)",
         "Aperture size should be odd between 3 and 7"},
        {"cvcanny(2, 3, 0, 0, 8, 8, 0, 0, 10, 20, -1)",
         "Aperture size should be odd between 3 and 7"},
        // 1200 x 1200 cells over 64 x 48 pixels: minutes of work in one call.
        {"local r, k = {}, {} for i = 1, 1200 do r[i] = 1 end for i = 1, 1200 do k[i] = r end "
         "linear(2, 3, 0, 0, 64, 48, 0, 0, k)",
         "kernel too large for the region"},
    };
    for (const auto& [call, message] : cases)
        EXPECT_NE(run(call).find(message), std::string::npos) << call << " -> " << run(call);
    EXPECT_EQ(yc(frame(3).at(0, 0)), std::make_tuple(5, 5, 5));
    // An empty region resolves no buffer.
    EXPECT_EQ(run("linear(99, 99, 0, 0, 0, 8, 0, 0, {{1}})"), "");
    EXPECT_EQ(run("median(99, 99, 0, 0, 8, -1, 0, 0, 3, 3)"), "");
    EXPECT_EQ(run("cvcanny(99, 99, 0, 0, 0, 0, 0, 0, 1, 2)"), "");
}

TEST_F(FilterFunctions, HugeSigmasAndWindowsActAsTheLargestTheyCanUse) {
    // Their cost is bounded by the region, whatever the argument.
    fill_varied(2, 12);
    ASSERT_EQ(run("gaussian(2, 3, 0, 0, 64, 48, 0, 0, 1e300)"), "");
    ASSERT_EQ(run("gaussian(2, 4, 0, 0, 64, 48, 0, 0, 65536)"), "");
    EXPECT_TRUE(same_buffers(3, 4));
    ASSERT_EQ(run("median(2, 3, 0, 0, 64, 48, 0, 0, 2e9, 3)"), "");
    ASSERT_EQ(run("median(2, 4, 0, 0, 64, 48, 0, 0, 64, 3)"), "");
    EXPECT_TRUE(same_buffers(3, 4));
    ASSERT_EQ(run("defocus(2, 3, 0, 0, 64, 48, 0, 0, 1e10, 1e10)"), "");
    ASSERT_EQ(run("defocus(2, 4, 0, 0, 64, 48, 0, 0, 64, 48)"), "");
    EXPECT_TRUE(same_buffers(3, 4));
}

// Between two buffers a short Gaussian streams its rows through per-thread
// lines; on one buffer it goes through a whole work array.  Both must give
// the same pixels: for regions reaching past the picture (mirrored in),
// destinations clipped by the frame, kernels longer than the region, and
// any thread count.
TEST_F(FilterFunctions, StreamedGaussianMatchesTheWholeArray) {
    const char* regions[] = {
        "%s, %s, 3, 4, 61, 37, 2, 9",     "%s, %s, -7, -5, 64, 48, 0, 0",
        "%s, %s, 50, 40, 30, 20, 45, 35", "%s, %s, 20, 10, 1, 1, 5, 5",
        "%s, %s, 0, 0, 64, 3, 0, 44",     "%s, %s, 10, 0, 7, 48, -3, 0",
    };
    for (int threads : {1, 2, 3}) {
        tracks[1] = threads;
        fill_filter_info(&fp, engine_filter_info());
        for (double sigma : {0.0, 0.6, 2.0, 5.5, 15.0})
            for (const char* region : regions) {
                fill_varied(2, static_cast<std::uint32_t>(threads * 100 + sigma * 10));
                copy_buffer(2, 3);
                copy_buffer(2, 4);
                char args[120], two[200], one[200];
                std::snprintf(args, sizeof args, region, "2", "3");
                std::snprintf(two, sizeof two, "gaussian(%s, %g)", args, sigma);
                ASSERT_EQ(run(two), "") << two;
                std::snprintf(args, sizeof args, region, "4", "4");
                std::snprintf(one, sizeof one, "gaussian(%s, %g)", args, sigma);
                ASSERT_EQ(run(one), "") << one;
                EXPECT_TRUE(same_buffers(3, 4)) << two << " threads " << threads;
            }
    }
}
