// The work plane's RGB conversions in single-precision lanes against the
// per-pixel formulas, bit for bit, on every instruction set this machine
// runs.  The cases are the ones the fast forms are built around: every
// pixel whose exact value is an integer where the double formula may fall
// short (the r and b cases on their whole range, sampled g cases, grey and
// black), the edges of the ranges the fast forms take, and random pixels
// inside and outside them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "buffers/numeric.h"
#include "buffers/pixel_format.h"
#include "buffers/plane_rows.h"
#include "each_target.h"

namespace {

short s16(int v) { return static_cast<short>(v); }

toolkit::rgb<short> rgb_of(const PIXEL_YC& p) {
    const Triple t = yc_to_rgb(p.y, p.cb, p.cr);
    return {to_component(t.a), to_component(t.b), to_component(t.c)};
}

PIXEL_YC yc_of(const toolkit::rgb<short>& p) {
    const Triple t = rgb_to_yc(p.r, p.g, p.b);
    return {to_component(t.a), to_component(t.b), to_component(t.c)};
}

// Runs both row conversions over the pixels on every target, checking each
// pixel, and the same pixels taken as R, G, B.
void expect_rows_exact(const std::vector<PIXEL_YC>& pixels, const std::string& what) {
    const std::size_t n = pixels.size();
    std::vector<toolkit::rgb<short>> rgb_want(n), as_rgb(n);
    std::vector<PIXEL_YC> yc_want(n);
    for (std::size_t i = 0; i < n; ++i) {
        rgb_want[i] = rgb_of(pixels[i]);
        as_rgb[i] = {pixels[i].y, pixels[i].cb, pixels[i].cr};
        yc_want[i] = yc_of(as_rgb[i]);
    }
    for_each_target([&](const std::string& target) {
        std::vector<toolkit::rgb<short>> rgb(n);
        std::vector<PIXEL_YC> yc(n);
        yc_to_rgb_row(pixels.data(), rgb.data(), n);
        rgb_to_yc_row(as_rgb.data(), yc.data(), n);
        for (std::size_t i = 0; i < n; ++i) {
            const PIXEL_YC& p = pixels[i];
            if (std::memcmp(&rgb[i], &rgb_want[i], sizeof rgb[i]) != 0) {
                ADD_FAILURE() << what << " yc_to_rgb on " << target << ": (" << p.y << ", " << p.cb
                              << ", " << p.cr << ") gave " << rgb[i].r << ", " << rgb[i].g << ", "
                              << rgb[i].b << " not " << rgb_want[i].r << ", " << rgb_want[i].g
                              << ", " << rgb_want[i].b;
                return;
            }
            if (std::memcmp(&yc[i], &yc_want[i], sizeof yc[i]) != 0) {
                ADD_FAILURE() << what << " rgb_to_yc on " << target << ": (" << p.y << ", " << p.cb
                              << ", " << p.cr << ") gave " << yc[i].y << ", " << yc[i].cb << ", "
                              << yc[i].cr << " not " << yc_want[i].y << ", " << yc_want[i].cb
                              << ", " << yc_want[i].cr;
                return;
            }
        }
    });
}

TEST(PlaneRowsExact, IntegerQuotientsOfRAndB) {
    // r's quotient is an integer where cr is a multiple of 500, b's where cb
    // is one of 250: each of those within the fast range, with every y of
    // it, the other chroma value random.
    std::mt19937 rng(7);
    std::vector<PIXEL_YC> pixels;
    for (int c = -4000; c <= 4000; c += 250)
        for (int y = -8192; y <= 8191; ++y) {
            const short other = s16(static_cast<int>(rng() % 8192) - 4096);
            pixels.push_back({s16(y), other, s16(c)});
            pixels.push_back({s16(y), s16(c), other});
        }
    expect_rows_exact(pixels, "integer r, b");
}

TEST(PlaneRowsExact, IntegerQuotientsOfG) {
    // 172 cb + 357 cr a multiple of 500: g's quotient is an integer for
    // every y, and the double formula is often one short.  Grey pixels
    // (cb = cr = 0) are such a case where it is exact.
    std::mt19937 rng(11);
    std::vector<PIXEL_YC> pixels;
    for (int found = 0; found < 600;) {
        const int cb = static_cast<int>(rng() % 8192) - 4096;
        const int cr = static_cast<int>(rng() % 8192) - 4096;
        if (((172 * cb + 357 * cr) % 500 + 500) % 500 != 0) continue;
        ++found;
        for (int k = 0; k < 48; ++k)
            pixels.push_back({s16(static_cast<int>(rng() % 16384) - 8192), s16(cb), s16(cr)});
    }
    for (int y = -8192; y <= 8191; y += 3) pixels.push_back({s16(y), 0, 0});
    expect_rows_exact(pixels, "integer g");
}

TEST(PlaneRowsExact, GreyBlackAndWholeQuotientsOfYcb) {
    // Grey R = G = B gives integer quotients for all of y, cb and cr; so do
    // the pixels built to make 587 g + 299 r + 114 b a multiple of 1000.
    std::mt19937 rng(13);
    std::vector<PIXEL_YC> pixels;
    for (int v = -8200; v <= 8200; ++v) pixels.push_back({s16(v), s16(v), s16(v)});
    for (int k = 0; k < 64; ++k) pixels.push_back({0, 0, 0});
    for (int found = 0; found < 30000;) {
        const int r = static_cast<int>(rng() % 16384) - 8192;
        const int g = static_cast<int>(rng() % 16384) - 8192;
        const int b = static_cast<int>(rng() % 16384) - 8192;
        if ((587 * g + 299 * r + 114 * b) % 1000 != 0 &&
            (500 * b - 169 * r - 331 * g) % 1000 != 0 && (500 * r - 419 * g - 81 * b) % 1000 != 0)
            continue;
        ++found;
        pixels.push_back({s16(r), s16(g), s16(b)});
    }
    expect_rows_exact(pixels, "grey and whole");
}

TEST(PlaneRowsExact, RangeEdgesAndRandomPixels) {
    // Each component at and just beyond the ends of the fast ranges, mixed
    // into vectors of ordinary pixels; then random pixels, in range and of
    // any 16-bit value, in runs of many lengths.
    const int edges[] = {-32768, -8193, -8192, -8191, -4097, -4096, -4095, -1,   0,
                         1,      4094,  4095,  4096,  8190,  8191,  8192,  32767};
    std::mt19937 rng(17);
    std::vector<PIXEL_YC> pixels;
    for (int a : edges)
        for (int b : edges)
            for (int c : edges) {
                pixels.push_back({s16(a), s16(b), s16(c)});
                for (int k = 0; k < 5; ++k)
                    pixels.push_back({s16(static_cast<int>(rng() % 4097)),
                                      s16(static_cast<int>(rng() % 4097) - 2048),
                                      s16(static_cast<int>(rng() % 4097) - 2048)});
            }
    for (int k = 0; k < 200000; ++k) {
        if (rng() % 8 == 0)
            pixels.push_back({s16(static_cast<int>(rng())), s16(static_cast<int>(rng())),
                              s16(static_cast<int>(rng()))});
        else
            pixels.push_back({s16(static_cast<int>(rng() % 16384) - 8192),
                              s16(static_cast<int>(rng() % 8192) - 4096),
                              s16(static_cast<int>(rng() % 8192) - 4096)});
    }
    expect_rows_exact(pixels, "edges and random");
    for (std::size_t n : {1, 2, 3, 7, 15, 16, 17, 31, 33, 65}) {
        const std::vector<PIXEL_YC> run(pixels.begin() + 100, pixels.begin() + 100 + n);
        expect_rows_exact(run, "a run of " + std::to_string(n));
    }
}

}  // namespace
