// What every toolkit filter call shares: the job count, the output made the
// input's size, results that do not depend on the job count, and the work
// deadline that stops a long call early.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "platform/system.h"
#include "platform/work_deadline.h"
#include "toolkit/box_mean.h"
#include "toolkit/convolution_filter.h"
#include "toolkit/filter_call.h"
#include "toolkit/gaussian_blur.h"
#include "toolkit/pixel_median.h"

namespace {

using Image = toolkit::grid<toolkit::rgb<short>>;

Image random_image(std::size_t w, std::size_t h, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> v(-300, 4400);
    Image a(w, h);
    for (auto& p : a)
        p = {static_cast<short>(v(rng)), static_cast<short>(v(rng)), static_cast<short>(v(rng))};
    return a;
}

struct DeadlineReset {
    ~DeadlineReset() { work_deadline::set(0); }
};

}  // namespace

TEST(FilterCall, ZeroThreadsMeansOneJobPerProcessor) {
    EXPECT_EQ(toolkit::filter_jobs(0), static_cast<int>(std::min(toolkit::processor_count(), 64u)));
    EXPECT_EQ(toolkit::filter_jobs(1), 1);
    EXPECT_EQ(toolkit::filter_jobs(16), 16);
    EXPECT_EQ(toolkit::filter_jobs(1000), 64);
}

TEST(FilterCall, SameArrayOrEmptyInputDoesNothing) {
    Image a = random_image(3, 3, 1);
    const Image before = a;
    toolkit::grid<double> k(3, 3);
    k.fill(1);
    EXPECT_FALSE(toolkit::convolve(a, a, k, 2));
    EXPECT_FALSE(toolkit::pixel_median(a, a, 3, 3, 2));
    EXPECT_FALSE(toolkit::box_mean(a, a, 3, 3, 2));
    for (std::size_t i = 0; i < a.size(); ++i) ASSERT_EQ(a[i], before[i]);
    const Image empty;
    Image out(2, 2);
    EXPECT_FALSE(toolkit::convolve(empty, out, k, 2));
    EXPECT_FALSE(toolkit::pixel_median(empty, out, 3, 3, 2));
    EXPECT_EQ(out.size(), 4u);
}

// More jobs than rows leave the surplus idle, and no job count changes a
// bit of any filter's result; the output takes the input's pitches.
TEST(FilterCall, EveryJobCountGivesTheOneJobResult) {
    for (std::size_t h : {1u, 3u, 40u}) {
        Image in = random_image(23, h, static_cast<std::uint32_t>(h));
        in.pitch_x = 1.5;
        toolkit::grid<double> k(5, 3);
        for (std::size_t i = 0; i < k.size(); ++i) k[i] = static_cast<double>(i % 4) - 1;
        Image lin1, avg1, med1;
        ASSERT_TRUE(toolkit::convolve(in, lin1, k, 1));
        ASSERT_TRUE(toolkit::box_mean(in, avg1, 7, 5, 1));
        ASSERT_TRUE(toolkit::pixel_median(in, med1, 5, 7, 1));
        EXPECT_EQ(lin1.pitch_x, 1.5);
        toolkit::grid<toolkit::rgb<float>> g1(23, h);
        for (std::size_t i = 0; i < g1.size(); ++i)
            g1[i] = {static_cast<float>(in[i].r), static_cast<float>(in[i].g), 0.25f};
        toolkit::grid<toolkit::rgb<float>> g_in = g1;
        ASSERT_TRUE(toolkit::gaussian_blur(g1, 2.5, 1));
        for (std::uint32_t n : {2u, 7u, 64u, 0u}) {
            Image lin, avg, med;
            ASSERT_TRUE(toolkit::convolve(in, lin, k, n));
            ASSERT_TRUE(toolkit::box_mean(in, avg, 7, 5, n));
            ASSERT_TRUE(toolkit::pixel_median(in, med, 5, 7, n));
            toolkit::grid<toolkit::rgb<float>> g = g_in;
            ASSERT_TRUE(toolkit::gaussian_blur(g, 2.5, n));
            for (std::size_t i = 0; i < in.size(); ++i) {
                ASSERT_EQ(lin[i], lin1[i]) << "linear, " << n << " jobs, h " << h;
                ASSERT_EQ(avg[i], avg1[i]) << "average, " << n << " jobs, h " << h;
                ASSERT_EQ(med[i], med1[i]) << "median, " << n << " jobs, h " << h;
                ASSERT_EQ(g[i], g1[i]) << "gaussian, " << n << " jobs, h " << h;
            }
        }
    }
}

// A median whose window is the whole array costs seconds on this size; once
// the deadline has passed it returns at once (its output unfinished).  A
// deadline far ahead changes no bit of a result.
TEST(FilterCall, ALongCallStopsOnceTheDeadlineHasPassed) {
    DeadlineReset reset;
    const Image in = random_image(700, 300, 9);
    Image out;
    // Windows cut by the array's edges, then whole windows of 60000 keys.
    for (const auto& [kw, kh] : {std::pair{799, 599}, std::pair{301, 201}}) {
        work_deadline::set(platform::monotonic_ms() + 20);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(toolkit::pixel_median(in, out, kw, kh, 2));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500))
            << kw << " x " << kh;
    }

    const Image small = random_image(64, 48, 10);
    toolkit::grid<double> k(9, 9);
    k.fill(1);
    Image med0, lin0, med1, lin1;
    work_deadline::set(0);
    toolkit::pixel_median(small, med0, 9, 9, 2);
    toolkit::convolve(small, lin0, k, 2);
    work_deadline::set(platform::monotonic_ms() + 600000);
    toolkit::pixel_median(small, med1, 9, 9, 2);
    toolkit::convolve(small, lin1, k, 2);
    for (std::size_t i = 0; i < small.size(); ++i) {
        ASSERT_EQ(med1[i], med0[i]);
        ASSERT_EQ(lin1[i], lin0[i]);
    }
}
