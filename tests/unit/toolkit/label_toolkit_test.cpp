// The toolkit's labelling and hole filling, with OpenCV's
// connectedComponentsWithStats as an independent reference.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <random>
#include <tuple>
#include <vector>

#include "array_labeling.h"
#include "platform/system.h"
#include "platform/work_deadline.h"

namespace {

toolkit::grid<short> from_rows(const std::vector<const char*>& rows) {
    toolkit::grid<short> a(std::char_traits<char>::length(rows[0]), rows.size());
    for (std::size_t y = 0; y < rows.size(); ++y)
        for (std::size_t x = 0; x < a.width(); ++x) a(x, y) = rows[y][x] == '#' ? 4096 : 0;
    return a;
}

// (area, left, top, width, height) of every component, sorted.
using Stats = std::vector<std::array<int, 5>>;

Stats stats_of(const toolkit::grid<short>& labels, std::size_t n) {
    Stats s(n, {0, 1 << 30, 1 << 30, -1, -1});
    for (std::size_t y = 0; y < labels.height(); ++y)
        for (std::size_t x = 0; x < labels.width(); ++x) {
            const int v = labels(x, y);
            if (v == 0) continue;
            auto& r = s[static_cast<std::size_t>(v - 1)];
            ++r[0];
            r[1] = std::min(r[1], static_cast<int>(x));
            r[2] = std::min(r[2], static_cast<int>(y));
            r[3] = std::max(r[3], static_cast<int>(x));
            r[4] = std::max(r[4], static_cast<int>(y));
        }
    for (auto& r : s) r[3] = r[3] - r[1] + 1, r[4] = r[4] - r[2] + 1;
    std::sort(s.begin(), s.end());
    return s;
}

Stats opencv_stats(const toolkit::grid<short>& image, int connectivity) {
    cv::Mat fg(static_cast<int>(image.height()), static_cast<int>(image.width()), CV_8U);
    for (int y = 0; y < fg.rows; ++y)
        for (int x = 0; x < fg.cols; ++x) fg.at<std::uint8_t>(y, x) = image(x, y) > 0;
    cv::Mat labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(fg, labels, stats, centroids, connectivity);
    Stats s;
    for (int k = 1; k < n; ++k)
        s.push_back({stats.at<int>(k, cv::CC_STAT_AREA), stats.at<int>(k, cv::CC_STAT_LEFT),
                     stats.at<int>(k, cv::CC_STAT_TOP), stats.at<int>(k, cv::CC_STAT_WIDTH),
                     stats.at<int>(k, cv::CC_STAT_HEIGHT)});
    std::sort(s.begin(), s.end());
    return s;
}

}  // namespace

TEST(Labeling, CornerTouchingPixelsAreTwoUnder4AndOneUnder8) {
    toolkit::grid<short> a = from_rows({
        "#...",
        ".#..",
        "...#",
    });
    toolkit::grid<short> four = a, eight = a;
    EXPECT_EQ(toolkit::labeling4(four), 3u);
    EXPECT_EQ(toolkit::labeling8(eight), 2u);
    EXPECT_EQ(four(0, 0), 1);
    EXPECT_EQ(four(1, 1), 2);
    EXPECT_EQ(eight(1, 1), 1);
    EXPECT_EQ(eight(3, 2), 2);
}

TEST(Labeling, NumbersComponentsInScanOrderOfTheirFirstPixelAfterMerges) {
    // A U shape: its arms get provisional labels 1 and 2 and merge at the
    // bottom; the later dot becomes component 2, the block to its right 3.
    toolkit::grid<short> a = from_rows({
        "#.#..##",
        "#.#..##",
        "###....",
        "....#..",
    });
    toolkit::grid<short> out;
    EXPECT_EQ(toolkit::labeling4(a, out), 3u);
    EXPECT_EQ(out(0, 0), 1);
    EXPECT_EQ(out(2, 0), 1);
    EXPECT_EQ(out(5, 0), 2);
    EXPECT_EQ(out(4, 3), 3);
    EXPECT_EQ(a(0, 0), 4096);  // the input is untouched
}

TEST(Labeling, NegativeAndZeroAreBackground) {
    toolkit::grid<short> a(3, 1);
    a[0] = -5, a[1] = 0, a[2] = 1;
    EXPECT_EQ(toolkit::labeling8(a), 1u);
    EXPECT_EQ(a[0], 0);
    EXPECT_EQ(a[2], 1);
}

TEST(Labeling, MatchesOpenCvOnRandomMasks) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 12; ++trial) {
        const int w = 20 + trial * 7, h = 15 + trial * 5;
        std::uniform_int_distribution<int> coin(0, 99);
        const int density = 30 + 4 * trial;
        toolkit::grid<short> image(static_cast<std::size_t>(w), static_cast<std::size_t>(h));
        for (short& v : image) v = coin(rng) < density ? 4096 : (coin(rng) < 50 ? 0 : -7);
        for (int connectivity : {4, 8}) {
            toolkit::grid<short> labels;
            const std::size_t n = connectivity == 4 ? toolkit::labeling4(image, labels)
                                                    : toolkit::labeling8(image, labels);
            const Stats want = opencv_stats(image, connectivity);
            EXPECT_EQ(n, want.size()) << "trial " << trial << " connectivity " << connectivity;
            EXPECT_EQ(stats_of(labels, n), want)
                << "trial " << trial << " connectivity " << connectivity;
        }
    }
}

TEST(Labeling, SixteenBitLabelsStopAt32767) {
    // 32768 isolated pixels: the last seed shares label 32767 with the one before.
    toolkit::grid<short> a(512, 256);
    for (std::size_t y = 0; y < 256; y += 2)
        for (std::size_t x = 0; x < 512; x += 2) a(x, y) = 1;
    EXPECT_EQ(toolkit::labeling4(a), 32767u);
    EXPECT_EQ(a(510, 254), 32767);
    EXPECT_EQ(a(508, 254), 32767);
    EXPECT_EQ(a(506, 254), 32766);
    // 32-bit labels have no such cap.
    toolkit::grid<int> b(512, 256);
    for (std::size_t y = 0; y < 256; y += 2)
        for (std::size_t x = 0; x < 512; x += 2) b(x, y) = 1;
    EXPECT_EQ(toolkit::labeling4(b), 32768u);
}

TEST(FillHoles, FillsARingsInsideAndKeepsTheLargestBackground) {
    toolkit::grid<short> a = from_rows({
        "........",
        ".#####..",
        ".#...#..",
        ".#.#.#..",
        ".#####..",
        "........",
    });
    toolkit::fill_holes(a);
    const toolkit::grid<short> want = from_rows({
        "........",
        ".#####..",
        ".#####..",
        ".#####..",
        ".#####..",
        "........",
    });
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i] != 0, want[i] != 0) << i;
}

TEST(FillHoles, NoBackgroundFillsEverythingAndEqualSizesKeepTheFirst) {
    toolkit::grid<short> full(3, 3);
    full.fill(-1);  // negative counts as foreground here
    toolkit::fill_holes(full);
    for (short v : full) EXPECT_EQ(v, 1);

    // Two background regions of 2 cells each, split by a wall: the first stays.
    toolkit::grid<short> split = from_rows({"..#.."});
    toolkit::fill_holes(split);
    EXPECT_EQ(split[0], 0);
    EXPECT_EQ(split[1], 0);
    EXPECT_EQ(split[3], 1);
    EXPECT_EQ(split[4], 1);
}

// The strips all run even once the work deadline has passed: the joins
// and the totals read every strip, so a skipped strip would leave another
// call's runs behind.  Labels and measures equal those of a call without
// a deadline, whatever the number of strips.
TEST(Labeling, EveryStripRunsPastTheWorkDeadline) {
    struct DeadlineReset {
        ~DeadlineReset() { work_deadline::set(0); }
    } reset;
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> coin(0, 99);
    const std::size_t w = 61, h = 97;
    std::vector<short> cells(w * h), other(w * h);
    for (short& v : cells) v = coin(rng) < 45 ? 1 : 0;
    for (short& v : other) v = coin(rng) < 70 ? 1 : 0;
    auto labelled = [&](toolkit::strip_labeling& work, std::uint32_t strips) {
        const std::size_t n = work.run(cells.data(), static_cast<std::ptrdiff_t>(w), w, h,
                                       toolkit::foreground_cells::nonzero, true, 0, true, strips);
        std::vector<int> labels(w * h);
        for (std::size_t y = 0; y < h; ++y) work.write_row(y, labels.data() + y * w);
        std::vector<std::array<int, 5>> measures;
        for (std::size_t k = 1; k <= n; ++k) {
            const toolkit::component_measure& m = work.measure(k);
            measures.push_back({m.area, m.min_x, m.max_x, m.min_y, m.max_y});
        }
        return std::make_tuple(n, labels, measures);
    };
    for (std::uint32_t strips : {1u, 3u, 8u}) {
        toolkit::strip_labeling work;
        const auto want = labelled(work, strips);
        // The same buffers, first filled by another plane, then labelled
        // with the deadline passed.
        work.run(other.data(), static_cast<std::ptrdiff_t>(w), w, h,
                 toolkit::foreground_cells::nonzero, true, 0, true, strips);
        work_deadline::set(platform::monotonic_ms() - 1);
        const auto got = labelled(work, strips);
        work_deadline::set(0);
        EXPECT_EQ(got, want) << strips << " strips";
    }
}
