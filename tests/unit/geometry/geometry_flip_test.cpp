// fliph, flipv and mosaic: OpenCV's flips, regions hanging over the edges
// (the offsets kept inside the buffer), the mosaic averages against a
// direct computation, and the argument forms.
#include <opencv2/core.hpp>

#include <climits>

#include "geometry/flip.h"
#include "geometry/mosaic.h"
#include "geometry/offsets.h"
#include "geometry_reference.h"
#include "mask_script_fixture.h"
#include "mask_test_util.h"
#include "platform/thread_pool.h"

namespace {

cv::Mat as_mat(TestFrame& f) {
    return cv::Mat(f.frame.max_h, f.frame.max_w, CV_16SC3, f.pixels.data());
}

bool same(const PIXEL_YC& a, const PIXEL_YC& b) {
    return a.y == b.y && a.cb == b.cb && a.cr == b.cr;
}

}  // namespace

// The offsets a walk keeps are exactly those whose position lies in the
// buffer, forwards and backwards, also for runs far outside it.
TEST(FlipKernels, InsideOffsetsAreExactlyThoseInTheBuffer) {
    for (long long n : {0LL, 1LL, 5LL, 12LL})
        for (long long bound : {1LL, 4LL, 9LL})
            for (long long base = -20; base <= 20; ++base) {
                const Span f = forward_inside(n, base, bound);
                const Span b = backward_inside(n, base, bound);
                for (long long t = 0; t < n; ++t) {
                    const bool in_f = base + t >= 0 && base + t < bound;
                    const bool in_b = base - t >= 0 && base - t < bound;
                    ASSERT_EQ(t >= f.begin && t < f.end, in_f) << n << " " << base << " " << t;
                    ASSERT_EQ(t >= b.begin && t < b.end, in_b) << n << " " << base << " " << t;
                }
            }
}

TEST(FlipKernels, WholeFrameAgreesWithOpenCv) {
    TestFrame src = varied_frame(37, 23);
    for (int code : {0, 1}) {
        TestFrame ours(37, 23);
        const FlipRegion all{0, 0, 37, 23, 0, 0};
        (code == 1 ? flip_horizontal : flip_vertical)(src.frame, ours.frame, all);
        cv::Mat theirs;
        cv::flip(as_mat(src), theirs, code);
        EXPECT_EQ(cv::norm(as_mat(ours), theirs, cv::NORM_INF), 0) << code;
    }
}

TEST(FlipKernels, PartsOutsideAreSkippedAroundTheRegionsMiddle) {
    TestFrame src = varied_frame(12, 6);
    const PIXEL_YC keep{-1, -1, -1};
    // sx = -2, w = 10 (the mirror axis stays at the middle of the 10 columns),
    // a destination over the top edge, and positions at the int limits.
    const FlipRegion cases[] = {{-2, 0, 10, 6, 3, 1},
                                {0, 0, 4, 6, 5, -2},
                                {7, -3, 12, 6, -4, 2},
                                {INT_MAX - 3, 0, 12, 6, INT_MIN, 0},
                                {0, INT_MIN, 12, 6, 0, INT_MAX}};
    for (bool horizontal : {true, false})
        for (const FlipRegion& r : cases) {
            TestFrame ours(12, 6, keep), expect(12, 6, keep);
            (horizontal ? flip_horizontal : flip_vertical)(src.frame, ours.frame, r);
            for (long long i = 0; i < r.h; ++i)
                for (long long j = 0; j < r.w; ++j) {
                    const long long x = r.sx + j, y = r.sy + i;
                    const long long dx = horizontal ? 1LL * r.dx + r.w - 1 - j : r.dx + j;
                    const long long dy = horizontal ? r.dy + i : 1LL * r.dy + r.h - 1 - i;
                    if (x >= 0 && x < 12 && y >= 0 && y < 6 && dx >= 0 && dx < 12 && dy >= 0 &&
                        dy < 6)
                        expect.at(int(dx), int(dy)) = src.at(int(x), int(y));
                }
            for (std::size_t k = 0; k < ours.pixels.size(); ++k)
                ASSERT_TRUE(same(ours.pixels[k], expect.pixels[k]))
                    << horizontal << " " << r.sx << " " << k;
        }
}

TEST(MosaicKernel, WorkedAveragesAndTruncation) {
    TestFrame src(4, 2), dst(4, 2);
    const int ys[2][4] = {{0, 10, 20, 30}, {2, 12, 22, 32}};
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 4; ++j) src.set(j, i, ys[i][j], i == 0 && j == 0 ? -3 : -2, 0);
    ASSERT_TRUE(mosaic(src.frame, dst.frame, {0, 0, 4, 2, 0, 0, 2, 2}));
    EXPECT_EQ(dst.at(0, 0).y, 6);
    EXPECT_EQ(dst.at(1, 1).y, 6);
    EXPECT_EQ(dst.at(2, 0).y, 26);
    EXPECT_EQ(dst.at(0, 0).cb, -2);  // -9 / 4 truncates toward zero
    EXPECT_EQ(dst.at(3, 1).cb, -2);
}

TEST(MosaicKernel, MatchesADirectComputationOnAnyWorkerCount) {
    TestFrame src = varied_frame(41, 29);
    const MosaicRegion cases[] =
        {
            {0, 0, 41, 29, 0, 0, 4, 3},   {0, 0, 10, 5, 20, 20, 4, 4},  // widths 4, 4, 2
            {-7, -3, 30, 20, 5, 2, 6, 5}, {15, 10, 41, 29, -4, -6, 7, 9},
            {0, 0, 41, 29, 0, 0, 1, 1},   {3, 3, 20, 20, 3, 3, 41, 29},
            {50, 0, 10, 10, 0, 0, 3, 3},  // source wholly outside: nothing written
        };
    for (int workers : {1, 2, 3}) {
        pool::set_worker_count(workers);
        for (const MosaicRegion& r : cases) {
            TestFrame ours = varied_frame(41, 29, 99), expect = varied_frame(41, 29, 99);
            ASSERT_TRUE(mosaic(src.frame, ours.frame, r));
            mosaic_directly(src, expect, r);
            for (std::size_t k = 0; k < ours.pixels.size(); ++k)
                ASSERT_TRUE(same(ours.pixels[k], expect.pixels[k]))
                    << workers << " workers, block " << r.bw << "x" << r.bh << " pixel " << k;
        }
    }
    pool::set_worker_count(2);
    // Unit blocks copy the region unchanged.
    TestFrame copy(41, 29);
    mosaic(src.frame, copy.frame, {0, 0, 41, 29, 0, 0, 1, 1});
    for (std::size_t k = 0; k < copy.pixels.size(); ++k)
        ASSERT_TRUE(same(copy.pixels[k], src.pixels[k]));
}

TEST(MosaicKernel, LargeBlocksSumBeyond32Bits) {
    // 1024 x 600 pixels of extreme values in one block: the sums pass 2^31.
    TestFrame src(1024, 600, {32767, -32768, 32767}), dst(1024, 600);
    ASSERT_TRUE(mosaic(src.frame, dst.frame, {0, 0, 1024, 600, 0, 0, 1024, 600}));
    EXPECT_TRUE(same(dst.at(0, 0), {32767, -32768, 32767}));
    EXPECT_TRUE(same(dst.at(1023, 599), {32767, -32768, 32767}));
    // 70000 rows: the column sums are folded into the block sums on the way.
    TestFrame tall(2, 70000, {32767, -32768, -1}), out(2, 70000);
    ASSERT_TRUE(mosaic(tall.frame, out.frame, {0, 0, 2, 70000, 0, 0, 2, 70000}));
    EXPECT_TRUE(same(out.at(1, 69999), {32767, -32768, -1}));
}

TEST(MosaicKernel, ManyBlocksPerRow) {
    // 350 blocks per row are summed in more than one chunk of blocks.
    TestFrame src = varied_frame(700, 5), ours(700, 5), expect(700, 5);
    const MosaicRegion r{0, 0, 700, 5, 0, 0, 2, 3};
    ASSERT_TRUE(mosaic(src.frame, ours.frame, r));
    mosaic_directly(src, expect, r);
    for (std::size_t k = 0; k < ours.pixels.size(); ++k)
        ASSERT_TRUE(same(ours.pixels[k], expect.pixels[k])) << k;
}

using GeometryScript = MaskScript;

TEST_F(GeometryScript, FlipFormsThroughLua) {
    fpip.w = 20, fpip.h = 10;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            frame(2).at(x, y) = {static_cast<std::int16_t>(x * 100 + y), 1, 2};
    EXPECT_EQ(run("fliph(2, 3)"), "");
    EXPECT_EQ(frame(3).at(0, 0).y, 1900);
    EXPECT_EQ(frame(3).at(19, 9).y, 9);
    EXPECT_EQ(frame(3).at(20, 0).y, 0);  // only the picture
    EXPECT_EQ(run("fliph(3, 4)"), "");
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) ASSERT_TRUE(same(frame(4).at(x, y), frame(2).at(x, y)));
    EXPECT_EQ(run("flipv(2, 5, 1, 1, 3.7, 2, 0, 0)"), "");
    EXPECT_EQ(frame(5).at(0, 0).y, 102);
    EXPECT_EQ(frame(5).at(2, 1).y, 301);
    EXPECT_EQ(frame(5).at(3, 0).y, 0);
    // In place: the picture of the buffer itself, as through a second buffer.
    EXPECT_EQ(run("fliph(2, 2)"), "");
    EXPECT_EQ(frame(2).at(0, 3).y, 1903);
    EXPECT_EQ(frame(2).at(19, 3).y, 3);
    EXPECT_EQ(frame(2).at(10, 3).y, 903);
}

TEST_F(GeometryScript, MosaicBlockSizesThroughLua) {
    for (int x = 0; x < kWidth; ++x) frame(2).at(x, 0).y = static_cast<std::int16_t>(x);
    // Block width 0 acts as 1: a copy.
    EXPECT_EQ(run("mosaic(2, 3, 0, 0, 5, 1, 0, 0, 0, 1)"), "");
    EXPECT_EQ(frame(3).at(4, 0).y, 4);
    // A block width beyond max_w acts as max_w: one block over the 64 columns.
    EXPECT_EQ(run("mosaic(2, 4, 0, 0, 100, 1, 0, 0, 1000, 1)"), "");
    EXPECT_EQ(frame(4).at(0, 0).y, 31);  // (0 + ... + 63) / 64
    EXPECT_EQ(frame(4).at(63, 0).y, 31);
    // In place is well defined: every average is taken before writing.
    EXPECT_EQ(run("mosaic(2, 2, 0, 0, 4, 1, 0, 0, 2, 1)"), "");
    EXPECT_EQ(frame(2).at(0, 0).y, 0);
    EXPECT_EQ(frame(2).at(1, 0).y, 0);
    EXPECT_EQ(frame(2).at(2, 0).y, 2);
}

TEST_F(GeometryScript, FlipAndMosaicArgumentErrors) {
    for (const char* call : {"fliph(2, 3, 0)", "flipv(2)", "fliph(2,3,0,0,1,1,0,0,0)",
                             "mosaic(2,3,0,0,1,1,0,0,1)", "mosaic(2, 3)"})
        EXPECT_TRUE(count_error(call)) << call;
    EXPECT_NE(run("fliph(98, 99)").find("バッファが存在しません[98]"), std::string::npos);
    EXPECT_NE(run("flipv(2, 99)").find("[99]"), std::string::npos);
    EXPECT_NE(run("mosaic(97, 99, 0, 0, 1, 1, 0, 0, 1, 1)").find("[97]"), std::string::npos);
    EXPECT_EQ(run("fliph(98, 99, 0, 0, 0, 5, 0, 0)"), "");  // empty: nothing resolved
    EXPECT_EQ(run("mosaic(98, 99, 0, 0, 5, -1, 0, 0, 1, 1)"), "");
}
