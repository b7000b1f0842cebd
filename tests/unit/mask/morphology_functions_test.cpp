// The scripts' erode, dilate, open and close: argument handling, the
// mirrored copy-in, the y-only copy-back, the element errors and the
// failures of absurd sizes; cross-checked against OpenCV away from the edges.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <random>
#include <string>

#include "mask/morphology.h"
#include "morphology_fixture.h"
#include "opencv_disc.h"

namespace {

class MorphologyFunctions : public MorphologyLabelFixture {
protected:
    void random_y(int n, std::uint32_t seed) {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> v(0, 4);
        paint(n, [&](int, int) { return v(rng) == 0 ? 0 : 4096 - 100 * v(rng); });
    }
    cv::Mat y_plane(int n) {
        const Frame fr = frame(n);
        cv::Mat m(fr.max_h, fr.max_w, CV_16S);
        for (int y = 0; y < fr.max_h; ++y)
            for (int x = 0; x < fr.max_w; ++x) m.at<short>(y, x) = fr.at(x, y).y;
        return m;
    }
};

}  // namespace

TEST_F(MorphologyFunctions, DiscAndTableMatchOpenCvAwayFromTheRegionEdge) {
    struct Case {
        const char* fn;
        const char* element;
        cv::MorphTypes op;
        cv::Mat kernel;
        int reach;  // how far the element reaches from its centre
    };
    cv::Mat square(3, 5, CV_8U, cv::Scalar(1));
    square.at<std::uint8_t>(0, 0) = 0;  // an asymmetric 5 x 3 table
    const Case cases[] = {
        {"erode", "2", cv::MORPH_ERODE, disc_kernel(2), 2},
        {"dilate", "3", cv::MORPH_DILATE, disc_kernel(3), 3},
        {"open", "1", cv::MORPH_OPEN, disc_kernel(1), 2},
        {"close", "2", cv::MORPH_CLOSE, disc_kernel(2), 4},
        {"erode", "{{0,1,1,1,1},{1,1,1,1,1},{1,1,1,1,1}}", cv::MORPH_ERODE, square, 2},
        {"dilate", "{{0,1,1,1,1},{1,1,1,1,1},{1,1,1,1,1}}", cv::MORPH_DILATE, square, 2},
    };
    int seed = 5;
    for (const Case& c : cases) {
        random_y(2, static_cast<std::uint32_t>(seed++));
        paint(3, [](int, int) { return 0; });
        const int sx = 6, sy = 5, w = 44, h = 34, dx = 12, dy = 9;
        const std::string call =
            std::string(c.fn) + "(2, 3, 6, 5, 44, 34, 12, 9, " + c.element + ")";
        ASSERT_EQ(run(call), "") << call;
        cv::Mat want;
        const cv::Point anchor(c.kernel.cols / 2, c.kernel.rows / 2);
        cv::morphologyEx(y_plane(2), want, c.op, c.kernel, anchor);
        int checked = 0, wrong = 0;
        for (int i = c.reach; i < h - c.reach; ++i)
            for (int j = c.reach; j < w - c.reach; ++j) {
                ++checked;
                wrong += frame(3).at(dx + j, dy + i).y != want.at<short>(sy + i, sx + j);
            }
        EXPECT_GT(checked, 500);
        EXPECT_EQ(wrong, 0) << call;
    }
}

TEST_F(MorphologyFunctions, RadiusZeroCopiesYAndKeepsDestinationChroma) {
    random_y(2, 1);
    paint(3, [](int, int) { return 77; });
    for (int k = 0; k < 64 * 48; ++k) frame(3).pixels[k].cb = 5, frame(3).pixels[k].cr = 6;
    ASSERT_EQ(run("open(2, 3, 0, 0, 64, 48, 0, 0, 0)"), "");
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            ASSERT_EQ(frame(3).at(x, y).y, frame(2).at(x, y).y);
            ASSERT_EQ(frame(3).at(x, y).cb, 5);
            ASSERT_EQ(frame(3).at(x, y).cr, 6);
        }
}

TEST_F(MorphologyFunctions, WritesOnlyTheDestinationRegionClippedToTheBuffer) {
    paint(2, [](int x, int) { return x; });
    paint(3, [](int, int) { return -1; });
    // 10 x 4 region placed at (58, 46): 6 x 2 pixels fit.
    ASSERT_EQ(run("dilate(2, 3, 0, 0, 10, 4, 58, 46, 0)"), "");
    int written = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            if (frame(3).at(x, y).y != -1) {
                ++written;
                EXPECT_EQ(frame(3).at(x, y).y, x - 58);
            }
    EXPECT_EQ(written, 12);
}

TEST_F(MorphologyFunctions, TopEdgeReadsMirroredRowsWithTheEdgeRepeated) {
    paint(2, [](int, int y) { return 100 * (y + 1); });
    // Only the point two rows up: output row k reads source row k - 2.
    ASSERT_EQ(run("erode(2, 3, 0, 0, 64, 10, 0, 0, {{1},{0},{0},{0},{0}})"), "");
    EXPECT_EQ(frame(3).at(5, 0).y, 200);  // row -2 reads row 1
    EXPECT_EQ(frame(3).at(5, 1).y, 100);  // row -1 reads row 0
    EXPECT_EQ(frame(3).at(5, 2).y, 100);
    EXPECT_EQ(frame(3).at(5, 3).y, 200);
}

TEST_F(MorphologyFunctions, BottomEdgeMirrorsAboutThePicturesLastRowNotTheBuffers) {
    fpip.h = 40;  // rows 40..47 lie outside the picture but inside the buffer
    paint(2, [](int, int y) { return y < 40 ? 10 * y : 9999; });
    ASSERT_EQ(run("dilate(2, 3, 0, 30, 64, 10, 0, 30, {{0},{0},{0},{0},{1}})"), "");
    EXPECT_EQ(frame(3).at(7, 37).y, 390);  // row 39
    EXPECT_EQ(frame(3).at(7, 38).y, 380);  // row 40 reads 38
    EXPECT_EQ(frame(3).at(7, 39).y, 370);  // row 41 reads 37
}

TEST_F(MorphologyFunctions, RegionIsExtendedOnlyByHalfTheRadius) {
    // A dark pixel 3 columns left of the region is beyond the extension of
    // (3 + 1) / 2 = 2 and counts as neutral; one 2 columns left is seen.
    paint(2, [](int, int) { return 4096; });
    frame(2).at(7, 20).y = 0;
    ASSERT_EQ(run("erode(2, 3, 10, 10, 20, 20, 10, 10, 3)"), "");
    EXPECT_EQ(frame(3).at(10, 20).y, 4096);
    frame(2).at(8, 20).y = 0;
    ASSERT_EQ(run("erode(2, 3, 10, 10, 20, 20, 10, 10, 3)"), "");
    EXPECT_EQ(frame(3).at(10, 20).y, 0);
    EXPECT_EQ(frame(3).at(11, 20).y, 0);
    EXPECT_EQ(frame(3).at(12, 20).y, 4096);  // (8,20) is 4 away: outside radius 3
}

TEST_F(MorphologyFunctions, SameBufferInPlaceAndAllThreadCounts) {
    random_y(2, 9);
    paint(4, [](int, int) { return 0; });
    set_threads(1);
    ASSERT_EQ(run("close(2, 4, 0, 0, 64, 48, 0, 0, 2)"), "");
    for (int n : {2, 5, 0}) {
        set_threads(n);
        random_y(5, 9);
        ASSERT_EQ(run("close(5, 5, 0, 0, 64, 48, 0, 0, 2)"), "");
        for (std::size_t i = 0; i < frame(4).pixel_count(); ++i)
            ASSERT_EQ(frame(5).pixels[i].y, frame(4).pixels[i].y) << "threads " << n;
    }
}

TEST_F(MorphologyFunctions, ArgumentErrorsComeBeforeAnyBufferIsTouched) {
    random_y(2, 3);
    random_y(3, 4);
    random_y(6, 4);
    EXPECT_NE(run("erode(2, 3, 0, 0, 64, 48, 0, 0)").find("wrong number of argument"),
              std::string::npos);
    EXPECT_NE(run("erode(2, 3, 0, 0, 64, 48, 0, 0, {})").find("テーブルの形式が不適切です"),
              std::string::npos);
    EXPECT_NE(run("erode(2, 3, 0, 0, 64, 48, 0, 0, {1})").find("テーブルの形式が不適切です"),
              std::string::npos);
    EXPECT_NE(run("erode(2, 3, 0, 0, 64, 48, 0, 0, true)").find("table expected"),
              std::string::npos);
    EXPECT_NE(run("dilate(2, 3, 0, 0, 64, 48, 0, 0, -1)").find("empty structuring element"),
              std::string::npos);
    EXPECT_NE(
        run("open(2, 3, 0, 0, 64, 48, 0, 0, {{0,0},{0,0.5}})").find("empty structuring element"),
        std::string::npos);
    EXPECT_NE(run("close(2, 3, 0, 0, 64, 48, 0, 0, {{}})").find("empty structuring element"),
              std::string::npos);
    EXPECT_NE(
        run("erode(2, 3, 0, 0, 64, 48, 0, 0, {{1}, 5})").find("attempt to index a number value"),
        std::string::npos);
    // Invalid buffers are not looked up for an empty region.
    EXPECT_EQ(run("erode(99, 98, 0, 0, 0, 10, 0, 0, 1)"), "");
    EXPECT_NE(run("erode(2, 98, 0, 0, 5, 5, 0, 0, 1)").find("バッファが存在しません[98]"),
              std::string::npos);
    EXPECT_TRUE(same_pixels(3, 6));
    // A radius given as a numeric string counts as a number.
    EXPECT_EQ(run("dilate(2, 3, 0, 0, 64, 48, 0, 0, '1.9')"), "");
}

TEST_F(MorphologyFunctions, AbsurdSizesRaiseLuaErrorsAndLeaveTheDestination) {
    random_y(2, 3);
    random_y(3, 4);
    random_y(6, 4);
    const std::string huge_radius = run("erode(2, 3, 0, 0, 64, 48, 0, 0, 1e9)");
    EXPECT_NE(huge_radius.find("erode: structuring element too large (radius 1000000000)"),
              std::string::npos)
        << huge_radius;
    EXPECT_NE(run("open(2, 3, 0, 0, 64, 48, 0, 0, 2^31)").find("too large"), std::string::npos);
    // A sparse table whose length operator reports 2^20 x 2^20 cells.
    const std::string huge_table = run(R"(
        local row = {1}
        for k = 2, 2^20 do row[k] = 0 end
        local t = {}
        for k = 1, 2^20 do t[k] = row end
        dilate(2, 3, 0, 0, 64, 48, 0, 0, t))");
    EXPECT_NE(huge_table.find("structuring element table too large"), std::string::npos)
        << huge_table;
    EXPECT_TRUE(same_pixels(3, 6));
    // The state is still usable afterwards.
    EXPECT_EQ(run("erode(2, 3, 0, 0, 64, 48, 0, 0, 1)"), "");
}

TEST(MorphologyKernel, WorkAreaBeyondTheLimitThrowsBeforeTouchingTheDestination) {
    std::vector<PIXEL_YC> pixels(16 * 16, PIXEL_YC{5, 0, 0});
    AreaJob job;
    job.source = job.destination = {pixels.data(), 16, 16};
    job.w = job.h = 1 << 30;
    job.picture_w = job.picture_h = 16;
    MorphologyElement element;
    element.radius = 1;
    EXPECT_THROW(morphology_region(job, element, MorphologyOp::erode, 1), std::length_error);
    for (const PIXEL_YC& p : pixels) ASSERT_EQ(p.y, 5);
}

TEST_F(MorphologyFunctions, ShortTableRowsArePaddedAndLongOnesCut) {
    paint(2, [](int x, int y) { return x + 100 * y; });
    // Two columns (from row 1), centre (1, 1): only (-1, -1) and (0, -1)
    // remain, the third cell of row 3 being cut.
    ASSERT_EQ(run("dilate(2, 3, 0, 0, 64, 48, 0, 0, {{1, 1}, {}, {0, 0, 1}})"), "");
    EXPECT_EQ(frame(3).at(5, 5).y, 405);
    ASSERT_EQ(run("erode(2, 3, 0, 0, 64, 48, 0, 0, {{1, 1}, {}, {0, 0, 1}})"), "");
    EXPECT_EQ(frame(3).at(5, 5).y, 404);
}

TEST_F(MorphologyFunctions, LeftAndRightEdgesMirrorColumnsAboutThePicture) {
    fpip.w = 60;  // columns 60..63 lie outside the picture
    paint(2, [](int x, int) { return x < 60 ? 10 * x : 9999; });
    ASSERT_EQ(run("erode(2, 3, 0, 0, 60, 4, 0, 0, {{1, 0, 0, 0, 0}})"), "");
    EXPECT_EQ(frame(3).at(0, 1).y, 10);  // column -2 reads column 1
    EXPECT_EQ(frame(3).at(1, 1).y, 0);   // column -1 reads column 0
    EXPECT_EQ(frame(3).at(30, 1).y, 280);
    ASSERT_EQ(run("erode(2, 3, 0, 0, 60, 4, 0, 0, {{0, 0, 0, 0, 1}})"), "");
    EXPECT_EQ(frame(3).at(59, 1).y, 570);  // column 61 reads 57
    EXPECT_EQ(frame(3).at(58, 1).y, 580);  // column 60 reads 58
    EXPECT_EQ(frame(3).at(57, 1).y, 590);
}

TEST_F(MorphologyFunctions, RowsThatAreOneSharedTableActAsCopiesOfIt) {
    random_y(2, 11);
    // Rows 2 and 3 are the table of row 1, then a different row, then row 5
    // shared again by rows 6 and 7: each shared row is read once and
    // repeated, and must act exactly as written out.
    const char* shared =
        "local a, b = {0, 1, 1, 0, 1}, {1, 0, 0, 0, 1}\n"
        "shared = {a, a, a, {0, 0, 1, 0, 0}, b, b, b}\n"
        "copies = {}\n"
        "for i, row in ipairs(shared) do copies[i] = {unpack(row)} end\n";
    ASSERT_EQ(run(shared), "");
    for (const char* fn : {"erode", "dilate", "open", "close"}) {
        const std::string args = "(2, 3, 4, 3, 50, 40, 6, 5, ";
        ASSERT_EQ(run(std::string(fn) + args + "shared)"), "") << fn;
        ASSERT_EQ(run(std::string(fn) + "(2, 4, 4, 3, 50, 40, 6, 5, copies)"), "") << fn;
        EXPECT_TRUE(same_pixels(3, 4)) << fn;
    }
}
