// The toolkit's convolution, Gaussian, box and median filters against plain
// element-by-element evaluations of their definitions, at several worker
// counts and sizes (so that vector blocks, their tails and the edge bands
// all take part), and the worked numbers of the Gaussian kernel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <tuple>
#include <vector>

#include "toolkit/box_mean.h"
#include "toolkit/convolution_filter.h"
#include "toolkit/gaussian_blur.h"
#include "toolkit/pixel_median.h"

namespace {

using Image = toolkit::grid<toolkit::rgb<short>>;

Image random_image(std::size_t w, std::size_t h, std::uint32_t seed, int lo = -300, int hi = 4400) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> v(lo, hi);
    Image a(w, h);
    for (auto& p : a)
        p = {static_cast<short>(v(rng)), static_cast<short>(v(rng)), static_cast<short>(v(rng))};
    return a;
}

short component(const toolkit::rgb<short>& p, int c) { return c == 0 ? p.r : c == 1 ? p.g : p.b; }

// Convolution as defined: cells over the array only, sums in kernel order.
Image reference_linear(const Image& in, const toolkit::grid<double>& k) {
    const long W = static_cast<long>(in.width()), H = static_cast<long>(in.height());
    const long kc = static_cast<long>(k.width()), kr = static_cast<long>(k.height());
    Image out(in.width(), in.height());
    for (long y = 0; y < H; ++y)
        for (long x = 0; x < W; ++x) {
            double S = 0, T[3] = {0, 0, 0};
            for (long a = 0; a < kr; ++a)
                for (long b = 0; b < kc; ++b) {
                    const long xx = x + b - kc / 2, yy = y + a - kr / 2;
                    if (xx < 0 || yy < 0 || xx >= W || yy >= H) continue;
                    const double w = k(b, a);
                    S += w;
                    for (int c = 0; c < 3; ++c) T[c] += w * component(in(xx, yy), c);
                }
            short v[3];
            for (int c = 0; c < 3; ++c) v[c] = toolkit::truncate_to_short(S != 0 ? T[c] / S : T[c]);
            out(x, y) = {v[0], v[1], v[2]};
        }
    return out;
}

Image reference_average(const Image& in, long kw, long kh) {
    const long W = static_cast<long>(in.width()), H = static_cast<long>(in.height());
    Image out(in.width(), in.height());
    for (long y = 0; y < H; ++y)
        for (long x = 0; x < W; ++x) {
            double T[3] = {0, 0, 0}, n = 0;
            for (long yy = y - kh / 2; yy < y - kh / 2 + kh; ++yy)
                for (long xx = x - kw / 2; xx < x - kw / 2 + kw; ++xx) {
                    if (xx < 0 || yy < 0 || xx >= W || yy >= H) continue;
                    ++n;
                    for (int c = 0; c < 3; ++c) T[c] += component(in(xx, yy), c);
                }
            out(x, y) = {toolkit::truncate_to_short(T[0] / n), toolkit::truncate_to_short(T[1] / n),
                         toolkit::truncate_to_short(T[2] / n)};
        }
    return out;
}

// One pass of the separable Gaussian along x (or y), as defined.
toolkit::grid<toolkit::rgb<float>> reference_pass(const toolkit::grid<toolkit::rgb<float>>& in,
                                                  const std::vector<double>& k, bool along_x) {
    const long W = static_cast<long>(in.width()), H = static_cast<long>(in.height());
    const long r = static_cast<long>(k.size() / 2);
    toolkit::grid<toolkit::rgb<float>> out(in.width(), in.height());
    for (long y = 0; y < H; ++y)
        for (long x = 0; x < W; ++x) {
            const long p = along_x ? x : y, L = along_x ? W : H;
            double S = 0, T[3] = {0, 0, 0};
            bool cut = false;
            for (long t = -r; t <= r; ++t) {
                if (p + t < 0 || p + t >= L) {
                    cut = true;
                    continue;
                }
                const toolkit::rgb<float>& v = along_x ? in(x + t, y) : in(x, y + t);
                const double w = k[static_cast<std::size_t>(t + r)];
                S += w;
                T[0] += w * static_cast<double>(v.r);
                T[1] += w * static_cast<double>(v.g);
                T[2] += w * static_cast<double>(v.b);
            }
            for (double& t : T)
                if (cut && S != 0) t /= S;
            out(x, y) = {static_cast<float>(T[0]), static_cast<float>(T[1]),
                         static_cast<float>(T[2])};
        }
    return out;
}

std::vector<double> reference_kernel(double sigma) {
    if (sigma == 0) sigma = 1;
    const long r = static_cast<long>(std::ceil(sigma + sigma));
    std::vector<double> k;
    double sum = 0;
    for (long i = -r; i <= r; ++i) {
        k.push_back(std::exp(-(static_cast<double>(i * i) * 1.0 * (1 / (2 * sigma * sigma)))));
        sum += k.back();
    }
    for (double& w : k) w /= sum;
    return k;
}

bool lexically_less(const toolkit::rgb<short>& a, const toolkit::rgb<short>& b) {
    return std::tie(a.r, a.g, a.b) < std::tie(b.r, b.g, b.b);
}

// The median of the window of (x, y) where it lies inside the array.
toolkit::rgb<short> reference_median(const Image& in, long x, long y, long kw, long kh) {
    std::vector<toolkit::rgb<short>> w;
    for (long j = -kh / 2; j <= kh / 2; ++j)
        for (long i = -kw / 2; i <= kw / 2; ++i) w.push_back(in(x + i, y + j));
    std::sort(w.begin(), w.end(), lexically_less);
    return w[(w.size() - 1) / 2];
}

::testing::AssertionResult same(const Image& a, const Image& b) {
    if (a.width() != b.width() || a.height() != b.height())
        return ::testing::AssertionFailure() << "size";
    for (std::size_t y = 0; y < a.height(); ++y)
        for (std::size_t x = 0; x < a.width(); ++x)
            if (!(a(x, y) == b(x, y)))
                return ::testing::AssertionFailure()
                       << "at " << x << "," << y << ": " << a(x, y).r << " " << a(x, y).g << " "
                       << a(x, y).b << " vs " << b(x, y).r << " " << b(x, y).g << " " << b(x, y).b;
    return ::testing::AssertionSuccess();
}

toolkit::grid<double> kernel_of(std::size_t cols, std::size_t rows, std::vector<double> v) {
    toolkit::grid<double> k(cols, rows);
    std::copy(v.begin(), v.end(), k.begin());
    return k;
}

}  // namespace

TEST(FilterToolkit, LinearMatchesItsDefinitionForEveryKindOfKernel) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> fraction(-1.0, 2.0);
    std::vector<toolkit::grid<double>> kernels = {
        kernel_of(3, 3, {1, 2, 1, 2, 4, 2, 1, 2, 1}),          // integral, sum 16
        kernel_of(3, 3, {1, 1, 1, 1, -8, 1, 1, 1, 1}),         // zero sum
        kernel_of(3, 1, {-1, 0, 1}),                           // zero sum with a zero
        kernel_of(2, 1, {1, 1}),                               // even: anchor column 1
        kernel_of(4, 2, {0.5, 0.25, 0, 1, 2, 0.125, 3, 1}),    // fractional, even both ways
        kernel_of(1, 1, {0}),                                  // no weight at all
        kernel_of(3, 3, {40000, 40000, 0, 0, 1, 0, 0, 0, 1}),  // integral but too large for 32 bits
    };
    toolkit::grid<double> big(7, 5);
    for (double& w : big) w = std::round(fraction(rng) * 8) / 8;
    kernels.push_back(big);
    for (std::size_t kind = 0; kind < kernels.size(); ++kind)
        for (auto [w, h] : {std::pair{37, 11}, std::pair{5, 4}, std::pair{70, 3}}) {
            const Image in = random_image(static_cast<std::size_t>(w), static_cast<std::size_t>(h),
                                          static_cast<std::uint32_t>(kind * 10 + w));
            const Image want = reference_linear(in, kernels[kind]);
            for (std::uint32_t threads : {1u, 3u}) {
                Image out;
                ASSERT_TRUE(toolkit::convolve(in, out, kernels[kind], threads));
                EXPECT_TRUE(same(out, want)) << "kernel " << kind << " " << w << "x" << h;
            }
        }
}

TEST(FilterToolkit, GaussianKernelHasTheWorkedTaps) {
    const toolkit::gaussian_kernel one = toolkit::make_gaussian_kernel(1, 1, 100);
    ASSERT_EQ(one.radius, 2u);
    const double taps[] = {0.054489, 0.244201, 0.40262, 0.244201, 0.054489};
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(one.weights[i], taps[i], 1e-6);
    const toolkit::gaussian_kernel half = toolkit::make_gaussian_kernel(0.5, 1, 100);
    ASSERT_EQ(half.weights.size(), 3u);
    EXPECT_NEAR(half.weights[0], 0.106507, 1e-6);
    EXPECT_NEAR(half.weights[1], 0.786986, 1e-6);
    EXPECT_EQ(toolkit::make_gaussian_kernel(2, 1, 100).weights.size(), 9u);
    EXPECT_EQ(toolkit::make_gaussian_kernel(0.3, 1, 100).weights.size(), 3u);
    // sigma 0 is sigma 1; a kernel longer than a line keeps only the taps a
    // line can reach, normalised by the sum of all of them.
    const toolkit::gaussian_kernel zero = toolkit::make_gaussian_kernel(0, 1, 100);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(zero.weights[i], one.weights[i]);
    const toolkit::gaussian_kernel cut = toolkit::make_gaussian_kernel(50, 1, 3);
    EXPECT_EQ(cut.radius, 100u);
    ASSERT_EQ(cut.weights.size(), 7u);
    const std::vector<double> full = reference_kernel(50);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(cut.weights[i], full[97 + i]);
}

TEST(FilterToolkit, GaussianMatchesTwoPassesOfItsDefinition) {
    for (double sigma : {0.0, 0.5, 2.0, 3.7, 40.0})
        for (auto [w, h] : {std::pair{45, 23}, std::pair{6, 30}, std::pair{1, 1}}) {
            toolkit::grid<toolkit::rgb<float>> image(static_cast<std::size_t>(w),
                                                     static_cast<std::size_t>(h));
            std::mt19937 rng(static_cast<std::uint32_t>(w * 7 + h));
            std::uniform_real_distribution<float> v(-200.0f, 4300.0f);
            for (auto& p : image) p = {v(rng), v(rng), v(rng)};
            const std::vector<double> k = reference_kernel(sigma);
            const auto want = reference_pass(reference_pass(image, k, true), k, false);
            for (std::uint32_t threads : {1u, 2u}) {
                auto blurred = image;
                ASSERT_TRUE(toolkit::gaussian_blur(blurred, sigma, threads));
                bool equal = true;
                for (std::size_t i = 0; i < blurred.size(); ++i)
                    equal = equal && blurred[i] == want[i];
                EXPECT_TRUE(equal)
                    << "sigma " << sigma << " " << w << "x" << h << " threads " << threads;
            }
        }
    toolkit::grid<toolkit::rgb<float>> image(4, 4);
    EXPECT_FALSE(toolkit::gaussian_blur(image, -1, 1));
    EXPECT_FALSE(toolkit::gaussian_blur(image, std::nan(""), 1));
}

TEST(FilterToolkit, AverageMatchesItsDefinitionForNarrowWideAndOversizedBoxes) {
    const std::pair<long, long> boxes[] = {{5, 5},  {1, 1},  {2, 4},    {3, 9},
                                           {12, 3}, {40, 2}, {300, 300}};
    for (auto [kw, kh] : boxes)
        for (auto [w, h] : {std::pair{41, 17}, std::pair{3, 2}}) {
            const Image in = random_image(static_cast<std::size_t>(w), static_cast<std::size_t>(h),
                                          static_cast<std::uint32_t>(kw * 100 + kh), -32768, 32767);
            const Image want = reference_average(in, kw, kh);
            for (std::uint32_t threads : {1u, 4u}) {
                Image out;
                ASSERT_TRUE(toolkit::box_mean(in, out, static_cast<std::size_t>(kw),
                                              static_cast<std::size_t>(kh), threads));
                EXPECT_TRUE(same(out, want)) << kw << "x" << kh << " on " << w << "x" << h;
            }
        }
}

TEST(FilterToolkit, MedianPicksTheMiddlePixelOfEveryWindowShape) {
    // Few distinct values, so that ties in R and in R and G are common.
    const Image in = random_image(53, 19, 11, 0, 3);
    for (auto [kw, kh] :
         {std::pair{3, 3}, std::pair{5, 5}, std::pair{3, 5}, std::pair{7, 3}, std::pair{4, 4}}) {
        Image out;
        ASSERT_TRUE(toolkit::pixel_median(in, out, static_cast<std::size_t>(kw),
                                          static_cast<std::size_t>(kh), 2));
        const long ow = kw | 1, oh = kh | 1;
        for (long y = oh / 2; y < 19 - oh / 2; ++y)
            for (long x = ow / 2; x < 53 - ow / 2; ++x)
                ASSERT_EQ(out(x, y), reference_median(in, x, y, ow, oh))
                    << kw << "x" << kh << " at " << x << "," << y;
        Image one;
        ASSERT_TRUE(toolkit::pixel_median(in, one, static_cast<std::size_t>(kw),
                                          static_cast<std::size_t>(kh), 1));
        EXPECT_TRUE(same(one, out));
    }
}

TEST(FilterToolkit, MedianOfNineIsAPixelOfTheWindowNotAChannelMedian) {
    Image in(3, 3);
    const toolkit::rgb<short> a{100, 5, 5}, b{100, 7, 0}, c{50, 0, 0};
    const toolkit::rgb<short> cells[9] = {a, b, c, b, c, a, c, a, b};
    std::copy(cells, cells + 9, in.begin());
    Image out;
    ASSERT_TRUE(toolkit::pixel_median(in, out, 3, 3, 1));
    EXPECT_EQ(out(1, 1), a);
}

TEST(FilterToolkit, FivePixelNetworkSelectsTheMiddleOfEveryZeroOneWindow) {
    // Zero-one principle: a comparator network that selects correctly for
    // every input of two values does so for all inputs.  Each column of a
    // window holds 0 to 5 ones; 6^5 windows side by side, five rows.
    const int windows = 6 * 6 * 6 * 6 * 6;
    Image in(static_cast<std::size_t>(windows * 6), 5);
    for (int k = 0; k < windows; ++k)
        for (int c = 0, code = k; c < 5; ++c, code /= 6)
            for (int r = 0; r < 5; ++r)
                in(static_cast<std::size_t>(6 * k + c), static_cast<std::size_t>(r)) =
                    r < code % 6 ? toolkit::rgb<short>{1, 0, 0} : toolkit::rgb<short>{0, 9, 9};
    Image out;
    ASSERT_TRUE(toolkit::pixel_median(in, out, 5, 5, 2));
    for (int k = 0; k < windows; ++k) {
        int ones = 0;
        for (int c = 0, code = k; c < 5; ++c, code /= 6) ones += code % 6;
        const toolkit::rgb<short> want =
            ones >= 13 ? toolkit::rgb<short>{1, 0, 0} : toolkit::rgb<short>{0, 9, 9};
        ASSERT_EQ(out(static_cast<std::size_t>(6 * k + 2), 2), want) << "window " << k;
    }
}
