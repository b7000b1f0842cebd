// The toolkit's morphology: element shapes, run lists and the worker body,
// checked against OpenCV's erode, dilate and morphologyEx on random images.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <random>
#include <stdexcept>

#include "opencv_disc.h"
#include "toolkit/morphology.h"

namespace {

mist::array2<short> random_image(int w, int h, std::uint32_t seed, bool binary) {
    std::mt19937 rng(seed);
    mist::array2<short> a(static_cast<std::size_t>(w), static_cast<std::size_t>(h));
    std::uniform_int_distribution<int> grey(-3000, 5000), coin(0, 2);
    for (short& v : a) v = static_cast<short>(binary ? (coin(rng) == 0 ? 4096 : 0) : grey(rng));
    return a;
}

cv::Mat to_mat(const mist::array2<short>& a) {
    cv::Mat m(static_cast<int>(a.height()), static_cast<int>(a.width()), CV_16S);
    for (int y = 0; y < m.rows; ++y)
        for (int x = 0; x < m.cols; ++x) m.at<short>(y, x) = a(x, y);
    return m;
}

// Counts cells where the toolkit and OpenCV differ.
int differences(const mist::array2<short>& a, const cv::Mat& m) {
    int n = 0;
    for (int y = 0; y < m.rows; ++y)
        for (int x = 0; x < m.cols; ++x) n += a(x, y) != m.at<short>(y, x);
    return n;
}

mist::array2<int> random_table(int cols, int rows, std::mt19937& rng) {
    mist::array2<int> t(static_cast<std::size_t>(cols), static_cast<std::size_t>(rows));
    std::uniform_int_distribution<int> cell(0, 2);
    bool any = false;
    for (int& c : t) any |= (c = cell(rng) == 0 ? 0 : 1) != 0;
    if (!any) t[0] = 1;
    return t;
}

cv::Mat table_kernel(const mist::array2<int>& t) {
    cv::Mat k(static_cast<int>(t.height()), static_cast<int>(t.width()), CV_8U);
    for (int y = 0; y < k.rows; ++y)
        for (int x = 0; x < k.cols; ++x) k.at<std::uint8_t>(y, x) = t(x, y) != 0;
    return k;
}

}  // namespace

TEST(MorphologyElement, DiscsHaveTheIntegerDiscPointsAndRunLists) {
    EXPECT_EQ(mist::circle(0).full.size(), 1u);
    const auto cross = mist::circle(1);
    ASSERT_EQ(cross.full.size(), 5u);
    EXPECT_EQ(cross.entering.size(), 3u);  // one run per row
    EXPECT_EQ(mist::circle(2).full.size(), 13u);
    EXPECT_EQ(mist::circle(3).full.size(), 29u);
    EXPECT_EQ(cross.margin_x, 1);
    EXPECT_EQ(cross.margin_y, 1);
    // Middle row of radius 1: (-1,0) life 1, (0,0) life 2, (1,0) life 3.
    EXPECT_EQ(cross.full[1].x, -1);
    EXPECT_EQ(cross.full[1].life, 1);
    EXPECT_EQ(cross.full[3].x, 1);
    EXPECT_EQ(cross.full[3].life, 3);
    EXPECT_EQ(cross.entering[1].x, 1);
    EXPECT_EQ(cross.entering[1].life, 3);
    EXPECT_TRUE(mist::circle(-1).empty());
}

TEST(MorphologyElement, PitchesStretchTheDisc) {
    // Pixels twice as tall as wide: the disc spans twice as many columns
    // as rows.  (j/2)^2 + i^2 <= 4: 9 cells in row 0, 7 in rows +-1, 1 in +-2.
    const auto e = mist::circle(2, 1.0, 2.0);
    EXPECT_EQ(e.margin_x, 4);
    EXPECT_EQ(e.margin_y, 2);
    EXPECT_EQ(e.full.size(), 9u + 2 * 7u + 2 * 1u);
}

TEST(MorphologyElement, TablesGiveRowsOfRunsAroundTheCentreCell) {
    mist::array2<int> pair(2, 1);
    pair.fill(1);
    const auto p = mist::structure_from_table(pair);
    ASSERT_EQ(p.full.size(), 2u);
    EXPECT_EQ(p.full[0].x, -1);
    EXPECT_EQ(p.full[1].x, 0);
    EXPECT_EQ(p.entering.size(), 1u);
    EXPECT_EQ(p.entering[0].life, 2);

    mist::array2<int> square(3, 3);
    square.fill(1);
    const auto s = mist::structure_from_table(square);
    EXPECT_EQ(s.full.size(), 9u);
    EXPECT_EQ(s.full[0].x, -1);
    EXPECT_EQ(s.full[0].y, -1);
    EXPECT_EQ(s.full[8].x, 1);
    EXPECT_EQ(s.full[8].y, 1);

    // Broken runs: 1 0 1 1 is a run of one and a run of two.
    mist::array2<int> gaps(4, 1);
    gaps[0] = 1, gaps[2] = 5, gaps[3] = -1;
    const auto g = mist::structure_from_table(gaps);
    ASSERT_EQ(g.full.size(), 3u);
    ASSERT_EQ(g.entering.size(), 2u);
    EXPECT_EQ(g.entering[0].life, 1);
    EXPECT_EQ(g.entering[1].life, 2);
    EXPECT_EQ(g.full[2].life, 2);

    mist::array2<int> zeros(3, 2);
    EXPECT_TRUE(mist::structure_from_table(zeros).empty());
}

TEST(MorphologyElement, AbsurdRadiusFailsFastWithALengthError) {
    EXPECT_THROW(mist::circle(1e9), std::length_error);
    EXPECT_THROW(mist::circle(1e12), std::length_error);
}

TEST(MorphologyToolkit, DilatingOnePointDrawsTheElement) {
    for (int r : {1, 2}) {
        mist::array2<short> a(9, 9);
        a(4, 4) = 4096;
        ASSERT_TRUE(mist::dilation(a, static_cast<double>(r), 2));
        int set = 0;
        for (short v : a) set += v == 4096;
        EXPECT_EQ(set, r == 1 ? 5 : 13);
        EXPECT_EQ(a(4 + r, 4), 4096);
        EXPECT_EQ(a(4 + r, 4 + 1), 0);
        EXPECT_EQ(a(5, 5), r == 1 ? 0 : 4096);
    }
}

TEST(MorphologyToolkit, EmptyImageReturnsFalse) {
    mist::array2<short> empty;
    EXPECT_FALSE(mist::erosion(empty, 1.0, 1));
    EXPECT_FALSE(mist::opening(empty, mist::circle(1), 1));
    mist::array2<short> a(3, 3);
    EXPECT_FALSE(mist::dilation(a, mist::circle(-1), 1));
}

TEST(MorphologyToolkit, PaddedImageBeyondTheLimitThrows) {
    mist::morphology_structure far;
    far.full.push_back({0, 0, 0, 1});
    far.entering.push_back({0, 0, 0, 1});
    far.margin_x = far.margin_y = 100000;
    mist::array2<short> a(10, 10);
    EXPECT_THROW(mist::erosion(a, far, 1), std::length_error);
}

TEST(MorphologyToolkit, DiscsMatchOpenCvOnRandomImages) {
    int seed = 1;
    for (int r : {0, 1, 2, 3, 5, 8}) {
        for (bool binary : {true, false}) {
            const mist::array2<short> src =
                random_image(61, 47, static_cast<std::uint32_t>(seed++), binary);
            const cv::Mat m = to_mat(src), k = disc_kernel(r);
            for (std::uint32_t threads : {1u, 3u}) {
                mist::array2<short> e = src, d = src, o = src, c = src;
                ASSERT_TRUE(mist::erosion(e, static_cast<double>(r), threads));
                ASSERT_TRUE(mist::dilation(d, static_cast<double>(r), threads));
                ASSERT_TRUE(mist::opening(o, static_cast<double>(r), threads));
                ASSERT_TRUE(mist::closing(c, static_cast<double>(r), threads));
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
        const mist::array2<int> table = random_table(cols, rows, rng);
        const auto element = mist::structure_from_table(table);
        const mist::array2<short> src =
            random_image(37, 29, static_cast<std::uint32_t>(trial + 100), trial % 2 == 0);
        const cv::Mat m = to_mat(src), k = table_kernel(table);
        const cv::Point anchor(cols / 2, rows / 2);
        mist::array2<short> e = src, d = src, o = src;
        mist::erosion(e, element, 2);
        mist::dilation(d, element, 2);
        mist::opening(o, element, 2);
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
    mist::array2<short> a(1, 5);
    a[0] = 32767, a[1] = -32768, a[2] = 0, a[3] = 32767, a[4] = -32768;
    mist::array2<short> e = a, d = a;
    mist::erosion(e, 1.0, 1);
    mist::dilation(d, 1.0, 1);
    const short want_e[5] = {-32768, -32768, -32768, -32768, -32768};
    const short want_d[5] = {32767, 32767, 32767, 32767, 32767};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(e[i], want_e[i]);
        EXPECT_EQ(d[i], want_d[i]);
    }
}
