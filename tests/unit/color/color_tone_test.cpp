// Tone and level operations: gamma, sigmoid, posterize (three spaces),
// normalize, binarize.
#include <cmath>
#include <vector>

#include "color/tone.h"
#include "color_lua.h"

namespace {

// A one-row frame holding the given pixels.
struct Row {
    std::vector<PIXEL_YC> px;
    explicit Row(std::initializer_list<Yc> values) {
        for (const Yc& v : values)
            px.push_back(
                {static_cast<short>(v[0]), static_cast<short>(v[1]), static_cast<short>(v[2])});
    }
    Frame frame() { return {px.data(), static_cast<int>(px.size()), 1}; }
    Region all() const { return {0, 0, static_cast<int>(px.size()), 1}; }
    Yc at(int i) const { return {px[i].y, px[i].cb, px[i].cr}; }
};

TEST(ToneCurves, GammaWorkedValues) {
    Row row{{1024, 0, 0}, {4096, -2048, 2048}, {0, 100, -100}, {2000, -5, 7}};
    const Row before = row;
    const double one[3] = {1, 1, 1};
    gamma_curve(row.frame(), row.all(), one);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(row.at(i), before.at(i));
    const double two[3] = {2, 1, 1};
    gamma_curve(row.frame(), row.all(), two);
    EXPECT_EQ(row.at(0)[0], 2048);
    EXPECT_EQ(row.at(1)[0], 4096);
    EXPECT_EQ(row.at(2)[0], 0);
}

TEST(ToneCurves, GammaWithoutAFiniteValueKeepsTheComponent) {
    // Below the nominal minimum with a fractional exponent (NaN), and a zero
    // gain (exponent +inf: bases below 1 go to 0, above 1 to infinity).
    Row row{{-5, -2100, 0}, {5000, 0, 0}, {4096, 2048, -2048}, {1000, 0, 0}};
    const double half[3] = {2, 2, 2};
    gamma_curve(row.frame(), Region{0, 0, 1, 1}, half);
    EXPECT_EQ(row.at(0), (Yc{-5, -2100, 848}));  // Cr: 0.5^0.5 is finite
    const double zero[3] = {0, 0, 0};
    gamma_curve(row.frame(), Region{1, 0, 3, 1}, zero);
    EXPECT_EQ(row.at(1), (Yc{5000, -2048, -2048}));  // 5000/4096 > 1: kept
    EXPECT_EQ(row.at(2), (Yc{4096, 2048, -2048}));   // 1^inf = 1; 0^inf = 0
    EXPECT_EQ(row.at(3), (Yc{0, -2048, -2048}));
}

TEST(ToneCurves, SigmoidWorkedValuesAndDegenerateArguments) {
    Row row{{0, 0, 0}, {2048, 2048, -2048}, {4096, 1000, -1000}};
    const double gain[3] = {10, 10, 10}, centre[3] = {0.5, 0, 0};
    sigmoid_curve(row.frame(), row.all(), gain, centre);
    EXPECT_EQ(row.at(0)[0], 27);
    EXPECT_EQ(row.at(1)[0], 2048);
    EXPECT_EQ(row.at(2)[0], 4068);
    EXPECT_EQ(row.at(0)[1], 0);     // chroma 0 is the centre of its curve
    EXPECT_EQ(row.at(1)[1], 2020);  // 4096 / (e^-5 + 1) - 2048 = 2020.6
    // A zero gain flattens every component to the middle of its curve.
    const double flat[3] = {0, 0, 0};
    sigmoid_curve(row.frame(), row.all(), flat, centre);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(row.at(i), (Yc{2048, 0, 0}));
    // An infinite gain at the centre gives 0 * inf: NaN, the value is kept.
    Row mid{{2048, 0, 0}};
    const double inf[3] = {INFINITY, INFINITY, INFINITY};
    sigmoid_curve(mid.frame(), mid.all(), inf, centre);
    EXPECT_EQ(mid.at(0), (Yc{2048, 0, 0}));
}

// Large regions go through a table of all 65536 values, small ones compute
// per pixel: every 16-bit value must come out the same both ways.
TEST(ToneCurves, TableAndDirectPathsAgree) {
    std::vector<PIXEL_YC> whole(65536), by_row(65536);
    for (int u = 0; u < 65536; ++u) {
        const short v = static_cast<short>(static_cast<unsigned short>(u));
        whole[u] = by_row[u] = {v, static_cast<short>(-v), static_cast<short>(v ^ 0x5555)};
    }
    const Frame a{whole.data(), 256, 256}, b{by_row.data(), 256, 256};
    const double gains[3] = {2, 0, -0.7}, centre[3] = {0.3, -0.1, 0.2};
    gamma_curve(a, Region{0, 0, 256, 256}, gains);
    sigmoid_curve(a, Region{0, 0, 256, 256}, gains, centre);
    for (int row = 0; row < 256; ++row) {
        gamma_curve(b, Region{0, row, 256, 1}, gains);
        sigmoid_curve(b, Region{0, row, 256, 1}, gains, centre);
    }
    for (int u = 0; u < 65536; ++u) {
        ASSERT_EQ(whole[u].y, by_row[u].y) << u;
        ASSERT_EQ(whole[u].cb, by_row[u].cb) << u;
        ASSERT_EQ(whole[u].cr, by_row[u].cr) << u;
    }
}

// The table of the last curve is kept: a later call with other parameters
// must not use it, and the kept table must give what the curve gives.
TEST(ToneCurves, KeptTablesFollowTheParameters) {
    auto frame_of = [](std::vector<PIXEL_YC>& px) { return Frame{px.data(), 256, 256}; };
    std::vector<PIXEL_YC> start(65536);
    for (int u = 0; u < 65536; ++u) {
        const short v = static_cast<short>(static_cast<unsigned short>(u));
        start[u] = {v, static_cast<short>(v ^ 0x0f0f), static_cast<short>(-v)};
    }
    const double g1[3] = {1.7, 0.6, 3.1}, g2[3] = {0.4, 2.2, 1.3};
    const double c1[3] = {0.45, 0.1, -0.2}, c2[3] = {0.6, 0.0, 0.3};
    auto by_rows = [&](auto curve) {  // small regions: per value, unless a table is kept
        std::vector<PIXEL_YC> px = start;
        for (int row = 0; row < 256; ++row) curve(frame_of(px), Region{0, row, 256, 1});
        return px;
    };
    auto whole = [&](auto curve) {
        std::vector<PIXEL_YC> px = start;
        curve(frame_of(px), Region{0, 0, 256, 256});
        return px;
    };
    auto same = [](const std::vector<PIXEL_YC>& a, const std::vector<PIXEL_YC>& b) {
        for (std::size_t k = 0; k < a.size(); ++k)
            if (a[k].y != b[k].y || a[k].cb != b[k].cb || a[k].cr != b[k].cr) return false;
        return true;
    };
    auto gamma1 = [&](const Frame& f, const Region& r) { gamma_curve(f, r, g1); };
    auto gamma2 = [&](const Frame& f, const Region& r) { gamma_curve(f, r, g2); };
    auto sigmoid1 = [&](const Frame& f, const Region& r) { sigmoid_curve(f, r, g1, c1); };
    auto sigmoid2 = [&](const Frame& f, const Region& r) { sigmoid_curve(f, r, g1, c2); };
    const std::vector<PIXEL_YC> gamma_direct = by_rows(gamma1), sigmoid_direct = by_rows(sigmoid1);
    EXPECT_TRUE(same(whole(gamma1), gamma_direct));    // builds and keeps the table of g1
    EXPECT_TRUE(same(by_rows(gamma1), gamma_direct));  // through the kept table
    EXPECT_TRUE(same(whole(sigmoid1), sigmoid_direct));
    const std::vector<PIXEL_YC> gamma_other = whole(gamma2), sigmoid_other = whole(sigmoid2);
    EXPECT_FALSE(same(gamma_other, gamma_direct));
    EXPECT_FALSE(same(sigmoid_other, sigmoid_direct));  // only a centre differs
    EXPECT_TRUE(same(by_rows(gamma1), gamma_direct));
    EXPECT_TRUE(same(by_rows(sigmoid1), sigmoid_direct));
    EXPECT_TRUE(same(by_rows(gamma2), gamma_other));
}

TEST(Posterize, YcLevels) {
    Row row{{682, -1, 0}, {683, 0, 0}, {4096, 0, 0}, {-300, 0, 0}};
    const int four[3] = {4, 2, 2};
    posterize_yc(row.frame(), row.all(), four);
    EXPECT_EQ(row.at(0), (Yc{0, -2048, 2048}));
    EXPECT_EQ(row.at(1), (Yc{1365, 2048, 2048}));
    EXPECT_EQ(row.at(2)[0], 4095);
    EXPECT_EQ(row.at(3)[0], 0);
    Row two{{2047, 0, 0}, {2048, 0, 0}};
    const int one[3] = {1, -7, 2};  // fewer than two levels act as two
    posterize_yc(two.frame(), two.all(), one);
    EXPECT_EQ(two.at(0)[0], 0);
    EXPECT_EQ(two.at(1)[0], 4096);
    // 5000 levels: step 1, so only the clamp to 0..4096 acts.
    Row fine{{1234, 10, -10}, {-7, 0, 0}, {5000, 0, 0}};
    const int many[3] = {5000, 5000, 5000};
    posterize_yc(fine.frame(), fine.all(), many);
    EXPECT_EQ(fine.at(0), (Yc{1234, 10, -10}));
    EXPECT_EQ(fine.at(1)[0], 0);
    EXPECT_EQ(fine.at(2)[0], 4096);
    EXPECT_EQ(level_step(4098, 4096), 1);
    EXPECT_EQ(level_step(4097, 4096), 1);
    EXPECT_EQ(level_step(-2147483647 - 1, 3600), 3600);
}

TEST(Posterize, RgbAndHsvLevels) {
    // Two RGB levels: every channel goes to 0 or 4096.
    Row row{{1224, -692, 2048}, {3000, -500, 700}};
    const int two[3] = {2, 2, 2};
    posterize_rgb(row.frame(), row.all(), two);
    EXPECT_EQ(row.at(0), (Yc{1224, -692, 2048}));  // red stays red
    EXPECT_EQ(row.at(1), (Yc{4095, 0, 0}));        // a light colour turns white
    // Six hues (steps of 60 degrees); S and V untouched with 4097 levels.
    Row hues{{1224, -692, 2048}, {2000, 300, 900}};
    const int six[3] = {7, 4097, 4097};
    posterize_hsv(hues.frame(), hues.all(), six);
    EXPECT_EQ(hues.at(0), (Yc{1224, -692, 2047}));  // V 4095.3 truncated to 4095
    Row one_hue{{2000, 300, 900}, {2000, -900, -300}};
    const int single[3] = {1, 4097, 4097};  // steps of 3600: every hue is red
    posterize_hsv(one_hue.frame(), one_hue.all(), single);
    for (int i = 0; i < 2; ++i) {
        const Frame f = one_hue.frame();
        const PIXEL_YC p = f.at(i, 0);
        // Red hue: R is the largest channel and G equals B.
        const double r = p.cr * 1.402 + p.y, g = (p.y - p.cb * 0.344) - p.cr * 0.714,
                     b = p.y + p.cb * 1.772;
        EXPECT_GT(r, g) << i;
        EXPECT_NEAR(g, b, 3) << i;
    }
}

TEST(Levels, NormalizeAndBinarize) {
    Row row{{4096, 2048, 2048}, {2048, 0, 0}, {1000, 100, -50}, {-500, 0, 0}};
    normalize_gamut(row.frame(), row.all());
    EXPECT_EQ(row.at(0), (Yc{2823, 717, 907}));
    EXPECT_EQ(row.at(1), (Yc{2047, 0, 0}));
    EXPECT_EQ(row.at(2), (Yc{999, 100, -50}));
    EXPECT_EQ(row.at(3), (Yc{0, 0, 0}));
    Row bin{{2047, 5, 5}, {2048, -5, 5}, {-1, 0, 0}};
    binarize_luma(bin.frame(), bin.all(), 2048);
    EXPECT_EQ(bin.at(0), (Yc{0, 0, 0}));
    EXPECT_EQ(bin.at(1), (Yc{4096, 0, 0}));
    EXPECT_EQ(bin.at(2), (Yc{0, 0, 0}));
}

using ToneFunctions = ColorLua;

TEST_F(ToneFunctions, ArgumentsRegionsAndErrors) {
    fill(2, 1024, 0, 0);
    EXPECT_EQ(run("gamma(2, -10, 0, 20, 1, 2, 1, 1)"), "");
    EXPECT_EQ(pixel(2, 9, 0)[0], 2048);
    EXPECT_EQ(pixel(2, 10, 0)[0], 1024);
    EXPECT_EQ(pixel(2, 0, 1)[0], 1024);
    EXPECT_EQ(run("sigmoid(2, 0, 1, 1, 1, 10, 1, 1, 0.5, 0, 0)"), "");
    EXPECT_EQ(pixel(2, 0, 1)[0], 310);                           // 4096 / (e^2.5 + 1) = 310.7
    EXPECT_EQ(run("posterize(2, 0, 2, 64, 1, 2.9, 2, 2)"), "");  // 2.9 levels -> 2
    EXPECT_EQ(pixel(2, 5, 2), (Yc{0, 2048, 2048}));
    EXPECT_EQ(run("posterize_rgb(2, 0, 3, 1, 1, 2, 2, 2) posterize_hsv(2, 0, 4, 1, 1, 2, 2, 2)"),
              "");
    EXPECT_EQ(run("normalize(2, 63, 47, 5, 5) binarize(2, 0, 5, 64, 1, 1024)"), "");
    EXPECT_EQ(pixel(2, 7, 5), (Yc{4096, 0, 0}));

    // Counts, non-numbers, buffers; an empty region resolves nothing.
    EXPECT_NE(run("gamma(2, 0, 0, 1, 1, 2, 1)").find("#7 to 'gamma' (wrong number of argument)"),
              std::string::npos);
    EXPECT_NE(run("normalize(2, 0, 0, 1)").find("wrong number of argument"), std::string::npos);
    EXPECT_NE(run("binarize(2, 0, 0, 1, 1, 'x')").find("number expected"), std::string::npos);
    EXPECT_NE(run("posterize_hsv(55, 0, 0, 1, 1, 2, 2, 2)").find("バッファが存在しません[55]"),
              std::string::npos);
    EXPECT_EQ(run("sigmoid(55, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1)"), "");
    EXPECT_EQ(run("binarize(55, 0, 0, 5, -1, 0)"), "");
    // Wholly outside the storage: no error and no change.
    EXPECT_EQ(run("binarize(2, 64, 0, 5, 5, 0)"), "");
    EXPECT_EQ(pixel(2, 63, 0)[0], 1024);
}

}  // namespace
