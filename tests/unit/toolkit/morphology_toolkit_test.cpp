// The toolkit's morphology: element shapes as runs, and the passes checked
// against OpenCV's erode, dilate and morphologyEx on random images.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <array>
#include <chrono>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <vector>

#include "opencv_disc.h"
#include "platform/system.h"
#include "platform/work_deadline.h"
#include "toolkit/grey_morphology.h"

namespace {

toolkit::grid<short> random_image(int w, int h, std::uint32_t seed, bool binary) {
    std::mt19937 rng(seed);
    toolkit::grid<short> a(static_cast<std::size_t>(w), static_cast<std::size_t>(h));
    std::uniform_int_distribution<int> grey(-3000, 5000), coin(0, 2);
    for (short& v : a) v = static_cast<short>(binary ? (coin(rng) == 0 ? 4096 : 0) : grey(rng));
    return a;
}

cv::Mat to_mat(const toolkit::grid<short>& a) {
    cv::Mat m(static_cast<int>(a.height()), static_cast<int>(a.width()), CV_16S);
    for (int y = 0; y < m.rows; ++y)
        for (int x = 0; x < m.cols; ++x) m.at<short>(y, x) = a(x, y);
    return m;
}

// Counts cells where the toolkit and OpenCV differ.
int differences(const toolkit::grid<short>& a, const cv::Mat& m) {
    int n = 0;
    for (int y = 0; y < m.rows; ++y)
        for (int x = 0; x < m.cols; ++x) n += a(x, y) != m.at<short>(y, x);
    return n;
}

toolkit::grid<int> random_table(int cols, int rows, std::mt19937& rng) {
    toolkit::grid<int> t(static_cast<std::size_t>(cols), static_cast<std::size_t>(rows));
    std::uniform_int_distribution<int> cell(0, 2);
    bool any = false;
    for (int& c : t) any |= (c = cell(rng) == 0 ? 0 : 1) != 0;
    if (!any) t[0] = 1;
    return t;
}

cv::Mat table_kernel(const toolkit::grid<int>& t) {
    cv::Mat k(static_cast<int>(t.height()), static_cast<int>(t.width()), CV_8U);
    for (int y = 0; y < k.rows; ++y)
        for (int x = 0; x < k.cols; ++x) k.at<std::uint8_t>(y, x) = t(x, y) != 0;
    return k;
}

// The element's runs as (dy, x0, x1) triples, in order.
std::vector<std::array<int, 3>> runs_of(const toolkit::morphology_runs& e) {
    std::vector<std::array<int, 3>> v;
    for (const toolkit::morphology_run& r : e.runs()) v.push_back({r.dy, r.x0, r.x1});
    return v;
}

using Op = bool (*)(const toolkit::grid<short>&, toolkit::grid<short>&,
                    const toolkit::morphology_runs&, std::uint32_t);

// `op` applied to a copy of `a`.
toolkit::grid<short> applied(Op op, const toolkit::grid<short>& a,
                             const toolkit::morphology_runs& e, std::uint32_t threads) {
    toolkit::grid<short> out;
    EXPECT_TRUE(op(a, out, e, threads));
    return out;
}

}  // namespace

TEST(MorphologyElement, DiscsAreTheIntegerDiscsOneRunPerRow) {
    EXPECT_EQ(toolkit::circle_runs(0).points(), 1u);
    const auto cross = toolkit::circle_runs(1);
    EXPECT_EQ(cross.points(), 5u);
    EXPECT_EQ(runs_of(cross), (std::vector<std::array<int, 3>>{{-1, 0, 0}, {0, -1, 1}, {1, 0, 0}}));
    EXPECT_EQ(cross.min_x(), -1);
    EXPECT_EQ(cross.max_y(), 1);
    EXPECT_EQ(toolkit::circle_runs(2).points(), 13u);
    EXPECT_EQ(toolkit::circle_runs(3).points(), 29u);
    EXPECT_EQ(toolkit::circle_runs(3).runs().size(), 7u);
    EXPECT_TRUE(toolkit::circle_runs(-1).empty());
}

TEST(MorphologyElement, PitchesStretchTheDisc) {
    // Pixels twice as tall as wide: the disc spans twice as many columns
    // as rows.  (j/2)^2 + i^2 <= 4: 9 cells in row 0, 7 in rows +-1, 1 in +-2.
    const auto e = toolkit::circle_runs(2, 1.0, 2.0);
    EXPECT_EQ(e.min_x(), -4);
    EXPECT_EQ(e.max_x(), 4);
    EXPECT_EQ(e.min_y(), -2);
    EXPECT_EQ(e.max_y(), 2);
    EXPECT_EQ(e.points(), 9u + 2 * 7u + 2 * 1u);
}

TEST(MorphologyElement, TablesGiveRowsOfRunsAroundTheCentreCell) {
    toolkit::grid<int> pair(2, 1);
    pair.fill(1);
    EXPECT_EQ(runs_of(toolkit::table_runs(pair)), (std::vector<std::array<int, 3>>{{0, -1, 0}}));

    toolkit::grid<int> square(3, 3);
    square.fill(1);
    const auto s = toolkit::table_runs(square);
    EXPECT_EQ(s.points(), 9u);
    EXPECT_EQ(runs_of(s), (std::vector<std::array<int, 3>>{{-1, -1, 1}, {0, -1, 1}, {1, -1, 1}}));

    // Broken runs: 1 0 5 -1 is a run of one and a run of two (any non-zero
    // cell is a point).
    toolkit::grid<int> gaps(4, 1);
    gaps[0] = 1, gaps[2] = 5, gaps[3] = -1;
    const auto g = toolkit::table_runs(gaps);
    EXPECT_EQ(g.points(), 3u);
    EXPECT_EQ(runs_of(g), (std::vector<std::array<int, 3>>{{0, -2, -2}, {0, 0, 1}}));

    toolkit::grid<int> zeros(3, 2);
    EXPECT_TRUE(toolkit::table_runs(zeros).empty());
}

TEST(MorphologyElement, AbsurdRadiusFailsFastWithALengthError) {
    EXPECT_THROW(toolkit::circle_runs(1e9), std::length_error);
    EXPECT_THROW(toolkit::circle_runs(1e12), std::length_error);
}

TEST(MorphologyToolkit, DilatingOnePointDrawsTheElement) {
    for (int r : {1, 2}) {
        toolkit::grid<short> a(9, 9);
        a(4, 4) = 4096;
        const toolkit::grid<short> d =
            applied(toolkit::dilation, a, toolkit::circle_runs(static_cast<double>(r)), 2);
        int set = 0;
        for (short v : d) set += v == 4096;
        EXPECT_EQ(set, r == 1 ? 5 : 13);
        EXPECT_EQ(d(4 + r, 4), 4096);
        EXPECT_EQ(d(4 + r, 4 + 1), 0);
        EXPECT_EQ(d(5, 5), r == 1 ? 0 : 4096);
    }
}

TEST(MorphologyToolkit, EmptyImageOrElementOrTheSameArrayReturnsFalse) {
    toolkit::grid<short> empty, out;
    EXPECT_FALSE(toolkit::erosion(empty, out, toolkit::circle_runs(1), 1));
    EXPECT_FALSE(toolkit::opening(empty, out, toolkit::circle_runs(1), 1));
    toolkit::grid<short> a(3, 3);
    a(1, 1) = 7;
    EXPECT_FALSE(toolkit::dilation(a, out, toolkit::circle_runs(-1), 1));
    EXPECT_FALSE(toolkit::closing(a, a, toolkit::circle_runs(1), 1));
    EXPECT_EQ(a(1, 1), 7);
}

TEST(MorphologyToolkit, DiscsMatchOpenCvOnRandomImages) {
    int seed = 1;
    for (int r : {0, 1, 2, 3, 5, 8}) {
        for (bool binary : {true, false}) {
            const toolkit::grid<short> src =
                random_image(61, 47, static_cast<std::uint32_t>(seed++), binary);
            const cv::Mat m = to_mat(src), k = disc_kernel(r);
            const toolkit::morphology_runs disc = toolkit::circle_runs(static_cast<double>(r));
            for (std::uint32_t threads : {1u, 3u}) {
                const toolkit::grid<short> e = applied(toolkit::erosion, src, disc, threads);
                const toolkit::grid<short> d = applied(toolkit::dilation, src, disc, threads);
                const toolkit::grid<short> o = applied(toolkit::opening, src, disc, threads);
                const toolkit::grid<short> c = applied(toolkit::closing, src, disc, threads);
                cv::Mat ce, cd, co, cc;
                cv::erode(m, ce, k);
                cv::dilate(m, cd, k);
                cv::morphologyEx(m, co, cv::MORPH_OPEN, k);
                cv::morphologyEx(m, cc, cv::MORPH_CLOSE, k);
                EXPECT_EQ(differences(e, ce), 0) << "erode r=" << r << " binary=" << binary;
                EXPECT_EQ(differences(d, cd), 0) << "dilate r=" << r;
                EXPECT_EQ(differences(o, co), 0) << "open r=" << r;
                EXPECT_EQ(differences(c, cc), 0) << "close r=" << r;
            }
        }
    }
}

TEST(MorphologyToolkit, TablesMatchOpenCvWithTheSameAnchor) {
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> side(1, 7);
    for (int trial = 0; trial < 40; ++trial) {
        const int cols = side(rng), rows = side(rng);
        const toolkit::grid<int> table = random_table(cols, rows, rng);
        const toolkit::morphology_runs element = toolkit::table_runs(table);
        const toolkit::grid<short> src =
            random_image(37, 29, static_cast<std::uint32_t>(trial + 100), trial % 2 == 0);
        const cv::Mat m = to_mat(src), k = table_kernel(table);
        const cv::Point anchor(cols / 2, rows / 2);
        const toolkit::grid<short> e = applied(toolkit::erosion, src, element, 2);
        const toolkit::grid<short> d = applied(toolkit::dilation, src, element, 2);
        const toolkit::grid<short> o = applied(toolkit::opening, src, element, 2);
        cv::Mat ce, cd, co;
        cv::erode(m, ce, k, anchor);
        cv::dilate(m, cd, k, anchor);
        cv::morphologyEx(m, co, cv::MORPH_OPEN, k, anchor);
        EXPECT_EQ(differences(e, ce), 0) << "erode " << cols << "x" << rows << " trial " << trial;
        EXPECT_EQ(differences(d, cd), 0) << "dilate " << cols << "x" << rows << " trial " << trial;
        EXPECT_EQ(differences(o, co), 0) << "open " << cols << "x" << rows << " trial " << trial;
    }
}

TEST(MorphologyToolkit, ExtremeValuesAndOneColumnImages) {
    // Values equal to the neutral margins must not be confused with them.
    toolkit::grid<short> a(1, 5);
    a[0] = 32767, a[1] = -32768, a[2] = 0, a[3] = 32767, a[4] = -32768;
    const toolkit::grid<short> e = applied(toolkit::erosion, a, toolkit::circle_runs(1), 1);
    const toolkit::grid<short> d = applied(toolkit::dilation, a, toolkit::circle_runs(1), 1);
    const short want_e[5] = {-32768, -32768, -32768, -32768, -32768};
    const short want_d[5] = {32767, 32767, 32767, 32767, 32767};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(e[i], want_e[i]);
        EXPECT_EQ(d[i], want_d[i]);
    }
}

// An element of many short runs reads eighty thousand cells for every
// output: seconds of work on this plane.  Once the work deadline has
// passed the pass returns within a fraction of that (its output unfinished).
TEST(MorphologyToolkit, ALongPassStopsOnceTheDeadlineHasPassed) {
    toolkit::grid<int> comb(401, 401);
    for (std::size_t i = 0; i < comb.size(); ++i) comb[i] = (i % 401) % 2 == 0;
    const toolkit::morphology_runs element = toolkit::table_runs(comb);
    ASSERT_GT(element.runs().size(), 80000u);
    const toolkit::grid<short> src = random_image(600, 400, 5, false);
    for (Op op : {Op{toolkit::erosion}, Op{toolkit::opening}}) {
        work_deadline::set(platform::monotonic_ms() + 20);
        const auto start = std::chrono::steady_clock::now();
        toolkit::grid<short> out;
        op(src, out, element, 2);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    }
    work_deadline::set(0);
}
