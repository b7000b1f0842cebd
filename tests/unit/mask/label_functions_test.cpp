// The scripts' label4, label8, label2mask and remove_hole.
#include <gtest/gtest.h>

#include <string>

#include <stdexcept>
#include <vector>

#include "mask/label.h"
#include "morphology_fixture.h"

namespace {

class LabelFunctions : public MorphologyLabelFixture {
protected:
    // Draws '#' cells as y = 4096 at (x0, y0) into buffer n, the rest 0.
    void draw(int n, int x0, int y0, const std::vector<const char*>& rows) {
        paint(n, [](int, int) { return 0; });
        for (std::size_t i = 0; i < rows.size(); ++i)
            for (std::size_t j = 0; rows[i][j] != 0; ++j)
                if (rows[i][j] == '#')
                    frame(n).at(x0 + static_cast<int>(j), y0 + static_cast<int>(i)).y = 4096;
    }
};

}  // namespace

TEST_F(LabelFunctions, ResultTableIsOrderedByAreaInDestinationCoordinates) {
    draw(2, 10, 5,
         {
             "#.....###",
             "......###",
             "..##.....",
         });
    paint(3, [](int, int) { return 5; });
    ASSERT_EQ(run("t = label8(2, 3, 10, 5, 9, 3, 100 - 90, 20)"), "");
    EXPECT_EQ(number("#t"), 3);
    EXPECT_EQ(number("t[1].label"), 1);
    EXPECT_EQ(number("t[1].area"), 6);
    EXPECT_EQ(number("t[1].x"), 16);  // column 6 of the region, dx = 10
    EXPECT_EQ(number("t[1].y"), 20);
    EXPECT_EQ(number("t[1].width"), 3);
    EXPECT_EQ(number("t[1].height"), 2);
    EXPECT_EQ(number("t[2].area"), 2);
    EXPECT_EQ(number("t[2].x"), 12);
    EXPECT_EQ(number("t[2].y"), 22);
    EXPECT_EQ(number("t[3].area"), 1);
    // The label image: numbers by area, background 0, only y written.
    EXPECT_EQ(frame(3).at(16, 20).y, 1);
    EXPECT_EQ(frame(3).at(12, 22).y, 2);
    EXPECT_EQ(frame(3).at(10, 20).y, 3);
    EXPECT_EQ(frame(3).at(11, 20).y, 0);
    EXPECT_EQ(frame(3).at(11, 20).cb, 11);
    EXPECT_EQ(frame(3).at(9, 20).y, 5);  // outside the region
}

TEST_F(LabelFunctions, SizeLimitsRemoveComponentsWithoutGaps) {
    draw(2, 0, 0,
         {
             "####..#...##",
             "####......##",
             "..........##",
         });
    // min area 2, max area 100, min width 1, max width 3: the 4 x 2 block
    // (too wide) and the single pixel (too small) go.
    ASSERT_EQ(run("t = label4(2, 3, 0, 0, 12, 3, 0, 0, 2, 100, 1, 3)"), "");
    EXPECT_EQ(number("#t"), 1);
    EXPECT_EQ(number("t[1].area"), 6);
    EXPECT_EQ(frame(3).at(10, 0).y, 1);
    EXPECT_EQ(frame(3).at(0, 0).y, 0);
    EXPECT_EQ(frame(3).at(6, 0).y, 0);
    // Height limits are inclusive: max height 2 removes the 3-row column.
    ASSERT_EQ(run("t = label4(2, 3, 0, 0, 12, 3, 0, 0, 0, 2147483647, 0, 2147483647, 0, 2)"), "");
    EXPECT_EQ(number("#t"), 2);
    EXPECT_EQ(number("t[1].area"), 8);
    EXPECT_EQ(frame(3).at(10, 0).y, 0);
}

TEST_F(LabelFunctions, CornerTouchingAndNegativeValues) {
    draw(2, 0, 0, {"#.", ".#"});
    ASSERT_EQ(run("a = #label4(2, 3, 0, 0, 2, 2, 0, 0) b = #label8(2, 3, 0, 0, 2, 2, 0, 0)"), "");
    EXPECT_EQ(number("a"), 2);
    EXPECT_EQ(number("b"), 1);
    frame(2).at(0, 0).y = -4096;
    ASSERT_EQ(run("a = #label8(2, 3, 0, 0, 2, 2, 0, 0)"), "");
    EXPECT_EQ(number("a"), 1);
}

TEST_F(LabelFunctions, EmptyRegionsAndNoForeground) {
    paint(2, [](int, int) { return 0; });
    paint(3, [](int, int) { return 9; });
    ASSERT_EQ(run("t = label8(2, 3, 0, 0, 64, 48, 0, 0)"), "");
    EXPECT_EQ(number("#t"), 0);
    EXPECT_EQ(frame(3).at(30, 30).y, 0);
    // w < 1: no result at all, buffers not looked up.
    ASSERT_EQ(run("n = select('#', label4(99, 98, 0, 0, 0, 5, 0, 0))"), "");
    EXPECT_EQ(number("n"), 0);
    EXPECT_NE(run("label4(2, 3, 0, 0, 5, 5, 0)").find("wrong number of argument"),
              std::string::npos);
    EXPECT_NE(
        run("label4(2, 3, 0, 0, 5, 5, 0, 0, 1, 2, 3, 4, 5, 6, 7)").find("wrong number of argument"),
        std::string::npos);
    EXPECT_NE(run("label8(2, 42, 0, 0, 5, 5, 0, 0)").find("バッファが存在しません[42]"),
              std::string::npos);
}

TEST_F(LabelFunctions, SourceOutsideTheBufferReadsAsBackground) {
    paint(2, [](int, int) { return 4096; });
    // Region starting 4 columns left of the buffer: those cells stay 0.
    ASSERT_EQ(run("t = label4(2, 3, -4, 0, 10, 2, 0, 0)"), "");
    EXPECT_EQ(number("#t"), 1);
    EXPECT_EQ(number("t[1].area"), 12);
    EXPECT_EQ(number("t[1].x"), 4);
    EXPECT_EQ(frame(3).at(3, 0).y, 0);
    EXPECT_EQ(frame(3).at(4, 0).y, 1);
    // A destination far outside the buffer writes nothing but still
    // reports where the component would be, without 32-bit overflow.
    ASSERT_EQ(run("t = label4(2, 3, 0, 0, 10, 2, 2147483647, 0)"), "");
    EXPECT_EQ(number("t[1].x"), 2147483647.0);
    ASSERT_EQ(run("t = label4(2, 3, 5, 0, 10, 2, 2147483647, 0)"), "");
    EXPECT_EQ(number("t[1].x"), 2147483647.0);
    ASSERT_EQ(run("t = label4(2, 3, -4, 0, 10, 2, 2147483647, 0)"), "");
    EXPECT_EQ(number("t[1].x"), 2147483651.0);
}

TEST_F(LabelFunctions, Label2MaskSelectsListedLabels) {
    paint(2, [](int x, int) { return x % 5; });
    paint(3, [](int, int) { return 77; });
    ASSERT_EQ(run("label2mask(2, 3, 0, 0, 20, 10, 0, 0, {1, 3})"), "");
    for (int x = 0; x < 20; ++x) {
        const int want = (x % 5 == 1 || x % 5 == 3) ? 4096 : 0;
        EXPECT_EQ(frame(3).at(x, 4).y, want);
        EXPECT_EQ(frame(3).at(x, 4).cb, 0);
        EXPECT_EQ(frame(3).at(x, 4).cr, 0);
    }
    EXPECT_EQ(frame(3).at(20, 4).y, 77);
    // A single number, 0 selecting the background, and errors.
    ASSERT_EQ(run("label2mask(2, 3, 0, 0, 20, 10, 0, 0, 0)"), "");
    EXPECT_EQ(frame(3).at(5, 0).y, 4096);
    EXPECT_EQ(frame(3).at(6, 0).y, 0);
    EXPECT_NE(run("label2mask(2, 3, 0, 0, 20, 10, 0, 0, {})").find("テーブルの形式が不適切です"),
              std::string::npos);
    EXPECT_NE(run("label2mask(2, 3, 0, 0, 20, 10, 0, 0, 'x')").find("number expected"),
              std::string::npos);
    EXPECT_NE(run("label2mask(2, 3, 0, 0, 20, 10, 0, 0)").find("wrong number of argument"),
              std::string::npos);
}

TEST_F(LabelFunctions, Label2MaskInOneBufferAtAnOverlappingOffset) {
    paint(2, [](int x, int) { return x; });
    ASSERT_EQ(run("label2mask(2, 2, 0, 0, 30, 4, 1, 0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9})"), "");
    // Destination column x + 1 reflects the source column x as it was.
    for (int x = 0; x < 30; ++x) EXPECT_EQ(frame(2).at(x + 1, 2).y, x < 10 ? 4096 : 0) << x;
}

TEST_F(LabelFunctions, RemoveHoleFillsARingAndLeavesTheOutside) {
    draw(2, 4, 4,
         {
             "######",
             "#....#",
             "#....#",
             "######",
         });
    frame(2).at(0, 0).y = -3;  // negative y is foreground here
    paint(3, [](int, int) { return 55; });
    ASSERT_EQ(run("remove_hole(2, 3, 0, 0, 20, 12, 0, 0)"), "");
    EXPECT_EQ(frame(3).at(6, 5).y, 4096);  // inside the ring
    EXPECT_EQ(frame(3).at(4, 4).y, 4096);  // the ring
    EXPECT_EQ(frame(3).at(15, 10).y, 0);   // outside
    EXPECT_EQ(frame(3).at(0, 0).y, 4096);  // the negative pixel
    EXPECT_EQ(frame(3).at(6, 5).cb, 11);   // only y written
    EXPECT_EQ(frame(3).at(25, 5).y, 55);   // outside the region: untouched
    paint(2, [](int, int) { return 1; });
    ASSERT_EQ(run("remove_hole(2, 3, 0, 0, 20, 12, 0, 0)"), "");
    EXPECT_EQ(frame(3).at(10, 10).y, 4096);
    EXPECT_NE(run("remove_hole(2, 3, 0, 0, 20, 12, 0)").find("wrong number of argument"),
              std::string::npos);
}

TEST(LabelKernel, WorkAreaBeyondTheLimitThrowsBeforeWriting) {
    std::vector<PIXEL_YC> pixels(16 * 16, PIXEL_YC{5, 1, 2});
    AreaJob job;
    job.source = job.destination = {pixels.data(), 16, 16};
    job.w = job.h = 1 << 20;
    std::vector<ComponentInfo> found(static_cast<std::size_t>(component_capacity(job.w, job.h)));
    EXPECT_EQ(found.size(), 32767u);
    EXPECT_THROW(label_region(job, true, ComponentLimits{}, found.data()), std::length_error);
    EXPECT_THROW(remove_holes(job), std::length_error);
    for (const PIXEL_YC& p : pixels) ASSERT_EQ(p.y, 5);
}
