// The toolkit's arrays: zero-filling, resize rules, element limits, copies.
#include <gtest/gtest.h>

#include "toolkit/grid.h"
#include "toolkit/rgb.h"

namespace {

template <class T>
void fill_sequence(toolkit::grid<T>& a) {
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<T>(i + 1);
}

}  // namespace

TEST(ToolkitGrid, ConstructsZeroFilledRowMajorWithUnitPitches) {
    toolkit::grid<short> a(4, 3);
    EXPECT_EQ(a.width(), 4u);
    EXPECT_EQ(a.height(), 3u);
    EXPECT_EQ(a.size(), 12u);
    EXPECT_DOUBLE_EQ(a.pitch_x, 1.0);
    EXPECT_DOUBLE_EQ(a.pitch_y, 1.0);
    for (short v : a) EXPECT_EQ(v, 0);
    a(2, 1) = 7;
    EXPECT_EQ(a[1 * 4 + 2], 7);

    toolkit::grid<toolkit::rgb<float>> c(2, 2);
    EXPECT_EQ(c(1, 1), (toolkit::rgb<float>{0.f, 0.f, 0.f}));
}

TEST(ToolkitGrid, ResizeToSameCountKeepsDataAndChangesShape) {
    toolkit::grid<int> a(4, 6);
    fill_sequence(a);
    const int* block = a.data();
    ASSERT_TRUE(a.resize(6, 4));
    EXPECT_EQ(a.width(), 6u);
    EXPECT_EQ(a.height(), 4u);
    EXPECT_EQ(a.data(), block);
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i], static_cast<int>(i + 1));
}

TEST(ToolkitGrid, ResizeToOtherCountClearsEvenWhenShrinking) {
    toolkit::grid<short> a(4, 4);
    fill_sequence(a);
    ASSERT_TRUE(a.resize(2, 3));
    EXPECT_EQ(a.size(), 6u);
    for (short v : a) EXPECT_EQ(v, 0);
    fill_sequence(a);
    ASSERT_TRUE(a.resize(5, 5));
    for (short v : a) EXPECT_EQ(v, 0);
}

TEST(ToolkitGrid, ZeroOrOversizedCountLeavesEmptyArray) {
    toolkit::grid<short> a(3, 3);
    EXPECT_FALSE(a.resize(0, 5));
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(a.width(), 0u);
    EXPECT_EQ(a.height(), 0u);

    // 2-byte elements: at most 2147483647; 4-byte: 1073741823; 8-byte: 536870911.
    EXPECT_EQ(toolkit::grid<short>::kMaxCount, 2147483647u);
    EXPECT_EQ(toolkit::grid<int>::kMaxCount, 1073741823u);
    EXPECT_EQ(toolkit::grid<double>::kMaxCount, 536870911u);
    toolkit::grid<int> b(2, 2);
    EXPECT_FALSE(b.resize(32768, 32768));  // 2^30 + ... above the 4-byte limit
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(b.width(), 0u);
    // A product that would overflow 64 bits is refused, not wrapped.
    toolkit::grid<short> c(1ull << 40, 1ull << 40);
    EXPECT_TRUE(c.empty());
    toolkit::grid<double> d(536870912, 1);
    EXPECT_TRUE(d.empty());
}

TEST(ToolkitGrid, CopiesAreDeepAndKeepPitches) {
    toolkit::grid<short> a(3, 2);
    fill_sequence(a);
    a.pitch_x = 2.0;
    toolkit::grid<short> b = a;
    b(0, 0) = 99;
    EXPECT_EQ(a(0, 0), 1);
    EXPECT_EQ(b(2, 1), 6);
    EXPECT_DOUBLE_EQ(b.pitch_x, 2.0);
}
