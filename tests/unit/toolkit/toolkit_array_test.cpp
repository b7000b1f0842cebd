// The toolkit's arrays: zero-filling, resize rules, element limits, copies.
#include <gtest/gtest.h>

#include "toolkit/array.h"
#include "toolkit/rgb.h"

namespace {

template <class T>
void fill_sequence(toolkit::array2<T>& a) {
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<T>(i + 1);
}

}  // namespace

TEST(ToolkitArray2, ConstructsZeroFilledRowMajorWithUnitPitches) {
    toolkit::array2<short> a(4, 3);
    EXPECT_EQ(a.width(), 4u);
    EXPECT_EQ(a.height(), 3u);
    EXPECT_EQ(a.size(), 12u);
    EXPECT_DOUBLE_EQ(a.pitch_x, 1.0);
    EXPECT_DOUBLE_EQ(a.pitch_y, 1.0);
    for (short v : a) EXPECT_EQ(v, 0);
    a(2, 1) = 7;
    EXPECT_EQ(a[1 * 4 + 2], 7);

    toolkit::array2<toolkit::rgb<float>> c(2, 2);
    EXPECT_EQ(c(1, 1), (toolkit::rgb<float>{0.f, 0.f, 0.f}));
}

TEST(ToolkitArray2, ResizeToSameCountKeepsDataAndChangesShape) {
    toolkit::array2<int> a(4, 6);
    fill_sequence(a);
    const int* block = a.data();
    ASSERT_TRUE(a.resize(6, 4));
    EXPECT_EQ(a.width(), 6u);
    EXPECT_EQ(a.height(), 4u);
    EXPECT_EQ(a.data(), block);
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i], static_cast<int>(i + 1));
}

TEST(ToolkitArray2, ResizeToOtherCountClearsEvenWhenShrinking) {
    toolkit::array2<short> a(4, 4);
    fill_sequence(a);
    ASSERT_TRUE(a.resize(2, 3));
    EXPECT_EQ(a.size(), 6u);
    for (short v : a) EXPECT_EQ(v, 0);
    fill_sequence(a);
    ASSERT_TRUE(a.resize(5, 5));
    for (short v : a) EXPECT_EQ(v, 0);
}

TEST(ToolkitArray2, ZeroOrOversizedCountLeavesEmptyArray) {
    toolkit::array2<short> a(3, 3);
    EXPECT_FALSE(a.resize(0, 5));
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(a.width(), 0u);
    EXPECT_EQ(a.height(), 0u);

    // 2-byte elements: at most 2147483647; 4-byte: 1073741823; 8-byte: 536870911.
    EXPECT_EQ(toolkit::array2<short>::max_size, 2147483647u);
    EXPECT_EQ(toolkit::array2<int>::max_size, 1073741823u);
    EXPECT_EQ(toolkit::array2<double>::max_size, 536870911u);
    toolkit::array2<int> b(2, 2);
    EXPECT_FALSE(b.resize(32768, 32768));  // 2^30 + ... above the 4-byte limit
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(b.width(), 0u);
    // A product that would overflow 64 bits is refused, not wrapped.
    toolkit::array2<short> c(1ull << 40, 1ull << 40);
    EXPECT_TRUE(c.empty());
    toolkit::array2<double> d(536870912, 1);
    EXPECT_TRUE(d.empty());
}

TEST(ToolkitArray1, ResizeFollowsTheSameRules) {
    toolkit::array1<double> a(5);
    EXPECT_EQ(a.size(), 5u);
    EXPECT_DOUBLE_EQ(a.pitch, 1.0);
    for (std::size_t i = 0; i < 5; ++i) a[i] = 1.5 * i;
    ASSERT_TRUE(a.resize(5));
    EXPECT_DOUBLE_EQ(a[4], 6.0);
    ASSERT_TRUE(a.resize(3));
    EXPECT_DOUBLE_EQ(a[2], 0.0);
    EXPECT_FALSE(a.resize(0));
    EXPECT_TRUE(a.empty());
    EXPECT_FALSE(a.resize(536870912));
}

TEST(ToolkitArray2, CopiesAreDeepAndKeepPitches) {
    toolkit::array2<short> a(3, 2);
    fill_sequence(a);
    a.pitch_x = 2.0;
    toolkit::array2<short> b = a;
    b(0, 0) = 99;
    EXPECT_EQ(a(0, 0), 1);
    EXPECT_EQ(b(2, 1), 6);
    EXPECT_DOUBLE_EQ(b.pitch_x, 2.0);
}
