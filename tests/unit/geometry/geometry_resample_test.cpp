// resize, rotate and affine: the sampler's arithmetic, the worked mappings,
// reads that stay inside the buffer, OpenCV's quarter turn, uniform pictures,
// and the argument forms.
#include <opencv2/core.hpp>

#include <cmath>
#include <limits>
#include <random>

#include "geometry/bilinear.h"
#include "geometry/resample.h"
#include "geometry_reference.h"
#include "mask_script_fixture.h"
#include "mask_test_util.h"

namespace {

cv::Mat as_mat(TestFrame& f) {
    return cv::Mat(f.frame.max_h, f.frame.max_w, CV_16SC3, f.pixels.data());
}

bool same(const PIXEL_YC& a, const PIXEL_YC& b) {
    return a.y == b.y && a.cb == b.cb && a.cr == b.cr;
}

bool uniform(const TestFrame& f, const PIXEL_YC& v) {
    for (const auto& p : f.pixels)
        if (!same(p, v)) return false;
    return true;
}

constexpr PIXEL_YC kKeep{-7, -7, -7};

}  // namespace

TEST(Bilinear, WeightsAndFlooring) {
    const PIXEL_YC a{100, -1, 32767}, b{200, 0, 32767}, c{300, -1, 32767}, d{400, 0, 32767};
    EXPECT_TRUE(same(bilinear_sample(a, b, c, d, 0, 0), a));
    EXPECT_TRUE(same(bilinear_sample(a, b, c, d, 128, 128), {250, -1, 32767}));  // -0.5 floors
    EXPECT_EQ(bilinear_sample(a, b, c, d, 255, 0).y, (100 * 1 + 200 * 255) * 256 >> 16);
}

TEST(ResampleKernels, AgreeWithPixelByPixelDefinitions) {
    std::mt19937 rng(5);
    auto pick = [&](int lo, int hi) {
        return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1));
    };
    TestFrame src = varied_frame(37, 29);
    for (int n = 0; n < 60; ++n) {
        TestFrame ours = varied_frame(37, 29, 3), expect = varied_frame(37, 29, 3);
        if (n % 3 == 0) {
            const ResizeJob j{pick(-10, 30), pick(-10, 25), pick(1, 50), pick(1, 40),
                              pick(-10, 30), pick(-10, 25), pick(1, 80), pick(1, 60)};
            resize_region(src.frame, ours.frame, j);
            reference_resize(src, expect, j);
        } else if (n % 3 == 1) {
            const RotateJob j{pick(-700, 700) / 100.0,
                              pick(-5, 20),
                              pick(-5, 20),
                              pick(-10, 30),
                              pick(-10, 25),
                              pick(1, 45),
                              pick(1, 35),
                              pick(-10, 30),
                              pick(-10, 25)};
            rotate_region(src.frame, ours.frame, j);
            reference_rotate(src, expect, j);
        } else {
            AffineJob j{pick(-10, 30), pick(-10, 25), pick(1, 45), pick(1, 35), {}};
            for (double& v : j.m) v = pick(-3000, 3000) / 1000.0;
            j.m[2] *= 10, j.m[5] *= 10;
            affine_region(src.frame, ours.frame, j);
            reference_affine(src, expect, j);
        }
        ASSERT_TRUE(same_frames(ours, expect)) << "case " << n;
    }
}

TEST(ResizeKernel, SameSizeCopiesAndTwoColumnsStretchToFour) {
    TestFrame src = varied_frame(16, 12), dst(16, 12, kKeep);
    resize_region(src.frame, dst.frame, {2, 3, 9, 5, 4, 6, 9, 5});
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 9; ++j) ASSERT_TRUE(same(dst.at(4 + j, 6 + i), src.at(2 + j, 3 + i)));
    EXPECT_TRUE(same(dst.at(3, 6), kKeep));
    EXPECT_TRUE(same(dst.at(13, 6), kKeep));

    TestFrame two(8, 4), out(8, 4, kKeep);
    two.set(0, 0, 100, 0, 0), two.set(1, 0, 200, 0, 0), two.set(0, 1, 300, 0, 0),
        two.set(1, 1, 500, 0, 0);
    resize_region(two.frame, out.frame, {0, 0, 2, 2, 0, 0, 4, 2});
    // Offsets 0, 0.5, 1, 1.5; columns 2 and 3 lie on the last source column.
    EXPECT_EQ(out.at(0, 0).y, 100);
    EXPECT_EQ(out.at(1, 0).y, 150);
    EXPECT_EQ(out.at(2, 0).y, 200);
    EXPECT_EQ(out.at(3, 0).y, 200);
    EXPECT_EQ(out.at(1, 1).y, 300);  // last source row: the pixel itself
    EXPECT_TRUE(same(out.at(4, 0), kKeep));
}

TEST(ResizeKernel, SourceOverTheBufferEdgeReadsOnlyInside) {
    // The source rectangle runs past the bottom-right corner, whose pixel is
    // then taken as is: no tap falls outside (the sanitizer build checks).
    TestFrame src = varied_frame(10, 8), dst(20, 16, kKeep);
    resize_region(src.frame, dst.frame, {7, 5, 6, 6, 0, 0, 12, 12});
    EXPECT_TRUE(same(dst.at(5, 5), src.at(9, 7)));  // 2x: source (9.5, 7.5)
    EXPECT_TRUE(same(dst.at(6, 0), kKeep));         // source column 10: outside
}

TEST(ResizeKernel, HugeSizesMapIn64Bits) {
    // (xd - dx) * sw * 256 passes 2^31 from the 2nd column: the mapping is
    // still the identity.
    TestFrame src = varied_frame(30, 9), dst(30, 9);
    resize_region(src.frame, dst.frame, {0, 0, 30000000, 30000000, 0, 0, 30000000, 30000000});
    for (std::size_t k = 0; k < src.pixels.size(); ++k)
        ASSERT_TRUE(same(dst.pixels[k], src.pixels[k]));
}

TEST(RotateKernel, ZeroAngleCopiesAndQuarterTurnMatchesOpenCv) {
    TestFrame src = varied_frame(40, 40), dst(40, 40, kKeep);
    rotate_region(src.frame, dst.frame, {0.0, 3, 2, 5, 6, 8, 7, 20, 21});
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool in = x >= 20 && x < 28 && y >= 21 && y < 28;
            ASSERT_TRUE(same(dst.at(x, y), in ? src.at(x - 15, y - 15) : kKeep)) << x << "," << y;
        }

    int kc = 0, ks = 0;
    ASSERT_TRUE(rotation_factors(M_PI / 2, &kc, &ks));
    EXPECT_EQ(kc, 0);
    EXPECT_EQ(ks, 4096);
    // The 20 x 12 rectangle at (0, 0) turned about its corner lands, turned
    // clockwise, in columns 11..22 - 11 and rows 5..24.
    TestFrame q(40, 40, kKeep);
    rotate_region(src.frame, q.frame, {M_PI / 2, 0, 0, 0, 0, 20, 12, 22, 5});
    cv::Mat turned;
    cv::rotate(as_mat(src)(cv::Rect(0, 0, 20, 12)), turned, cv::ROTATE_90_CLOCKWISE);
    EXPECT_EQ(cv::norm(as_mat(q)(cv::Rect(11, 5, 12, 20)), turned, cv::NORM_INF), 0);
    EXPECT_TRUE(same(q.at(10, 5), kKeep));
    EXPECT_TRUE(same(q.at(23, 5), kKeep));
    EXPECT_TRUE(same(q.at(11, 25), kKeep));
}

TEST(RotateKernel, NonFiniteAnglesWriteNothing) {
    TestFrame src = varied_frame(16, 16), none(16, 16, kKeep);
    for (double angle : {std::nan(""), std::numeric_limits<double>::infinity()})
        rotate_region(src.frame, none.frame, {angle, 0, 0, 0, 0, 16, 16, 0, 0});
    EXPECT_TRUE(uniform(none, kKeep));
}

TEST(AffineKernel, IdentityEnlargementAndDegenerateMatrices) {
    TestFrame src = varied_frame(20, 14), dst(20, 14, kKeep);
    affine_region(src.frame, dst.frame, {3, 2, 10, 8, {1, 0, 0, 0, 1, 0}});
    for (int y = 0; y < 14; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool in = x >= 3 && x < 13 && y >= 2 && y < 10;
            ASSERT_TRUE(same(dst.at(x, y), in ? src.at(x, y) : kKeep));
        }
    TestFrame big(20, 14, kKeep);
    affine_region(src.frame, big.frame, {-5, -5, 100, 100, {2, 0, 0, 0, 2, 0}});
    // w and h are limited to the buffer before the rectangle is placed: only
    // columns 0..14 and rows 0..8 are considered.
    EXPECT_TRUE(same(big.at(15, 4), kKeep));
    EXPECT_TRUE(same(big.at(6, 9), kKeep));
    affine_region(src.frame, big.frame, {0, 0, 20, 14, {2, 0, 0, 0, 2, 0}});
    EXPECT_TRUE(same(big.at(6, 4), src.at(3, 2)));
    EXPECT_TRUE(same(big.at(7, 4), bilinear_sample(src.at(3, 2), src.at(4, 2), src.at(3, 3),
                                                   src.at(4, 3), 128, 0)));
    EXPECT_TRUE(same(big.at(19, 13), bilinear_sample(src.at(9, 6), src.at(10, 6), src.at(9, 7),
                                                     src.at(10, 7), 128, 128)));

    TestFrame none(20, 14, kKeep);
    const double inf = std::numeric_limits<double>::infinity();
    const AffineJob degenerate[] = {
        {0, 0, 20, 14, {1, 2, 0, 2, 4, 0}},            // determinant 0
        {0, 0, 20, 14, {1e-200, 0, 0, 0, 1e-200, 0}},  // determinant underflows to 0
        {0, 0, 20, 14, {1, 0, inf, 0, 1, 0}},         {0, 0, 20, 14, {1, 0, 0, 0, std::nan(""), 0}},
        {0, 0, 20, 14, {1e300, 0, 0, 0, 1e300, 0}},    // determinant overflows
        {0, 0, 20, 14, {1e-12, 0, 0, 0, 1e-12, 0.5}},  // rows far beyond the int range
    };
    for (const AffineJob& job : degenerate) affine_region(src.frame, none.frame, job);
    EXPECT_TRUE(uniform(none, kKeep));
}

TEST(ResampleKernels, UniformPicturesStayUniform) {
    const PIXEL_YC v{-1234, 2047, -2048};
    TestFrame src(33, 27, v);
    TestFrame a(33, 27, v), b(33, 27, v), c(33, 27, v);
    resize_region(src.frame, a.frame, {-3, 2, 40, 19, 1, -4, 29, 31});
    rotate_region(src.frame, b.frame, {0.7, 10, 5, 2, 1, 30, 25, -3, 4});
    affine_region(src.frame, c.frame, {0, 0, 33, 27, {0.8, 0.3, -2.5, -0.2, 1.1, 3.25}});
    EXPECT_TRUE(uniform(a, v));
    EXPECT_TRUE(uniform(b, v));
    EXPECT_TRUE(uniform(c, v));
}

using ResampleScript = MaskScript;

TEST_F(ResampleScript, TransformsThroughLua) {
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            frame(2).at(x, y) = {static_cast<std::int16_t>(x * 100 + y), 0, 0};
    EXPECT_EQ(run("resize(2, 3, 0, 0, 2, 2, 10, 10, 4.9, 2)"), "");
    EXPECT_EQ(frame(3).at(11, 10).y, 50);
    EXPECT_EQ(frame(3).at(14, 10).y, 0);
    EXPECT_EQ(run("rotate(2, 4, 0, 1, 1, 5, 5, 3, 3, 0, 0)"), "");
    EXPECT_EQ(frame(4).at(2, 2).y, 707);
    EXPECT_EQ(frame(4).at(3, 3).y, 0);
    EXPECT_EQ(run("affine(2, 5, 0, 0, 4, 4, 1, 0, 2, 0, 1, 1)"), "");
    EXPECT_EQ(frame(5).at(3, 2).y, 101);  // source (1, 1)
    EXPECT_EQ(frame(5).at(1, 1).y, 0);    // source (-1, 0): outside
    // In place: the shift of the original picture, as through a second buffer.
    EXPECT_EQ(run("rotate(2, 2, 0, 0, 0, 0, 0, 64, 48, 1, 0)"), "");
    EXPECT_EQ(frame(2).at(1, 0).y, 0);
    EXPECT_EQ(frame(2).at(63, 5).y, 6205);
}

TEST_F(ResampleScript, ArgumentErrors) {
    for (const char* call : {"resize(2,3,0,0,1,1,0,0,1)", "rotate(2,3,0,0,0,0,0,1,1,0)",
                             "affine(2,3,0,0,1,1,1,0,0,0,1)", "affine(2,3,0,0,1,1,1,0,0,0,1,0,0)"})
        EXPECT_TRUE(count_error(call)) << call;
    EXPECT_NE(run("resize(98, 99, 0, 0, 1, 1, 0, 0, 1, 1)").find("バッファが存在しません[98]"),
              std::string::npos);
    EXPECT_NE(run("rotate(2, 99, 0, 0, 0, 0, 0, 1, 1, 0, 0)").find("[99]"), std::string::npos);
    EXPECT_NE(run("affine(97, 2, 0, 0, 1, 1, 1, 0, 0, 0, 1, 0)").find("[97]"), std::string::npos);
    EXPECT_EQ(run("resize(98, 99, 0, 0, 1, 1, 0, 0, 0, 1)"), "");  // empty: nothing resolved
    EXPECT_EQ(run("rotate(98, 99, 0, 0, 0, 0, 0, 1, 0, 0, 0)"), "");
    EXPECT_EQ(run("affine(98, 99, 0, 0, -1, 1, 1, 0, 0, 0, 1, 0)"), "");
    EXPECT_EQ(run("affine(2, 3, 0, 0, 9, 9, 0, 0, 0, 0, 0, 0)"), "");  // singular: no error
    EXPECT_NE(run("rotate(2, 3, 'a', 0, 0, 0, 0, 1, 1, 0, 0)").find("number expected"),
              std::string::npos);
}
