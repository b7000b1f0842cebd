// Copies between frame buffers and work arrays: the border rules at all four
// edges, the conversions of each plane kind, and the clipped write-back.
#include <gtest/gtest.h>

#include "buffers/work_plane.h"
#include "mask_test_util.h"

namespace {

// A 6 x 5 buffer whose picture is 4 x 3; pixel (x, y) has y = 10 * y + x,
// beyond the picture 100 + that, so a read of the wrong pixel shows.
TestFrame numbered_buffer() {
    TestFrame f(6, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) f.set(x, y, (x < 4 && y < 3 ? 0 : 100) + 10 * y + x, 0, 0);
    return f;
}

}  // namespace

TEST(WorkPlane, MirrorRepeatsTheNearEdgesAndMirrorsAboutTheFarOnes) {
    TestFrame f = numbered_buffer();
    toolkit::grid<short> a(8, 7);
    load_plane({f.frame, 4, 3, -2, -2, toolkit::border_rule::mirror}, a);
    // Columns -2..5 read 1 0 | 0 1 2 3 | 2 1; rows -2..4 read 1 0 | 0 1 2 | 1 0.
    const int cols[8] = {1, 0, 0, 1, 2, 3, 2, 1};
    const int rows[7] = {1, 0, 0, 1, 2, 1, 0};
    for (int k = 0; k < 7; ++k)
        for (int u = 0; u < 8; ++u) ASSERT_EQ(a(u, k), 10 * rows[k] + cols[u]) << u << "," << k;
}

TEST(WorkPlane, MirroredCoordinatesOutsideTheBufferLeaveZero) {
    TestFrame f = numbered_buffer();
    // Left of column -6 mirrors to column 6 and beyond: outside the 6-wide
    // buffer.  Far to the right mirrors below 0.
    toolkit::grid<short> a(3, 1);
    a.fill(-1);
    load_plane({f.frame, 4, 3, -8, 0, toolkit::border_rule::mirror}, a);
    EXPECT_EQ(a(0, 0), -1);   // -8 -> 7
    EXPECT_EQ(a(1, 0), -1);   // -7 -> 6
    EXPECT_EQ(a(2, 0), 105);  // -6 -> 5: beyond the picture, still in the buffer
    toolkit::grid<short> b(2, 1);
    b.fill(-1);
    load_plane({f.frame, 4, 3, 6, 0, toolkit::border_rule::mirror}, b);
    EXPECT_EQ(b(0, 0), 0);   // 6 -> 0
    EXPECT_EQ(b(1, 0), -1);  // 7 -> -1
}

TEST(WorkPlane, BufferBorderReadsBeyondThePictureAndZeroOutside) {
    TestFrame f = numbered_buffer();
    toolkit::grid<short> a(4, 2);
    load_plane({f.frame, 4, 3, 3, 3, toolkit::border_rule::none}, a);
    EXPECT_EQ(a(0, 0), 133);
    EXPECT_EQ(a(2, 1), 145);
    EXPECT_EQ(a(3, 0), 0);  // column 6 lies outside
    toolkit::grid<short> far(2, 2);
    load_plane({f.frame, 4, 3, -2147483648LL, 2147483647LL, toolkit::border_rule::none}, far);
    EXPECT_EQ(far(1, 1), 0);
}

TEST(WorkPlane, RgbPlanesConvertAndComeBack) {
    TestFrame f(2, 1);
    f.set(0, 0, 1000, 300, -200);
    f.set(1, 0, 32767, 32767, 32767);  // R beyond 16 bits keeps its low bits
    toolkit::grid<toolkit::rgb<short>> s(2, 1);
    load_rgb_region(f.frame, 2, 1, 0, 0, s);
    EXPECT_EQ(s(0, 0).r, static_cast<short>(1000 + -200 * 1.402));  // 719.6 -> 719
    EXPECT_EQ(s(0, 0).g, static_cast<short>((1000 - 300 * 0.344) - -200 * 0.714));
    EXPECT_EQ(s(0, 0).b, static_cast<short>(1000 + 300 * 1.772));
    EXPECT_EQ(s(1, 0).r, static_cast<short>(static_cast<int>(32767 * 1.402 + 32767) & 0xFFFF));
    toolkit::grid<toolkit::rgb<float>> fl(2, 1);
    load_rgbf_region(f.frame, 2, 1, 0, 0, fl);
    EXPECT_EQ(fl(0, 0).r, static_cast<float>(-200 * 1.402 + 1000));
    // Back: grey RGB 2000 gives Y 2000 and no chroma; floats truncate once.
    s(0, 0) = {2000, 2000, 2000};
    fl(1, 0) = {100.9f, 100.9f, 100.9f};
    TestFrame out(2, 1, {7, 7, 7});
    store_rgb_region(s, 0, 0, 1, 1, out.frame, 0, 0);
    store_rgbf_region(fl, 1, 0, 1, 1, out.frame, 1, 0);
    EXPECT_EQ(out.at(0, 0).y, 2000);
    EXPECT_EQ(out.at(0, 0).cb, 0);
    EXPECT_EQ(out.at(1, 0).y, 100);
}

TEST(WorkPlane, StoreClipsBothPositionsTogetherAndWritesOnlyY) {
    toolkit::grid<short> a(4, 4);
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<short>(i);
    TestFrame out(3, 3, {-5, 9, 9});
    // The block from (1, 1) to (-1, 0): columns of x < 0 are dropped, and the
    // array position moves with them.
    store_plane(a, 1, 1, 3, 3, out.frame, -1, 0);
    EXPECT_EQ(out.at(0, 0).y, a(2, 1));
    EXPECT_EQ(out.at(1, 2).y, a(3, 3));
    EXPECT_EQ(out.at(2, 0).y, -5);  // array column 4 does not exist
    EXPECT_EQ(out.at(0, 0).cb, 9);
}
