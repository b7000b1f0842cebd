// The host program's pixel conversions (the vector rows included, on a
// processor that has them) and the Y4M header it reads.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "media/pixel_convert.h"
#include "media/y4m.h"

namespace {

// Planes of w x h samples (bytes or words) in one layout.
struct Picture {
    int w, h, bits, sx, sy;
    std::vector<std::uint16_t> words[3];
    std::vector<std::uint8_t> bytes[3];
    Picture(int w_, int h_, int bits_, int sx_, int sy_)
        : w(w_), h(h_), bits(bits_), sx(sx_), sy(sy_) {
        for (int p = 0; p < 3; ++p) {
            words[p].assign(static_cast<std::size_t>(pw(p)) * ph(p), 0);
            bytes[p].assign(words[p].size(), 0);
        }
    }
    int pw(int p) const { return p ? (w + (1 << sx) - 1) >> sx : w; }
    int ph(int p) const { return p ? (h + (1 << sy) - 1) >> sy : h; }
    void set(int p, std::size_t i, int v) {
        bits == 8 ? (void)(bytes[p][i] = static_cast<std::uint8_t>(v))
                  : (void)(words[p][i] = static_cast<std::uint16_t>(v));
    }
    int get(int p, std::size_t i) const { return bits == 8 ? bytes[p][i] : words[p][i]; }
    Planes in(bool full = false) const {
        Planes planes;
        for (int p = 0; p < 3; ++p) {
            planes.data[p] =
                bits == 8 ? static_cast<const void*>(bytes[p].data()) : words[p].data();
            planes.stride[p] = pw(p) * (bits == 8 ? 1 : 2);
        }
        planes.bits = bits, planes.shift_x = sx, planes.shift_y = sy, planes.full_range = full;
        return planes;
    }
    OutPlanes out() {
        OutPlanes planes;
        for (int p = 0; p < 3; ++p) {
            planes.data[p] = bits == 8 ? static_cast<void*>(bytes[p].data()) : words[p].data();
            planes.stride[p] = pw(p) * (bits == 8 ? 1 : 2);
        }
        planes.bits = bits, planes.shift_x = sx, planes.shift_y = sy;
        return planes;
    }
};

TEST(PixelConvert, LegalSamplesSurviveTheRoundTripInEveryLayout) {
    // Widths that leave vector blocks and a plain tail, odd sides included.
    for (const int bits : {8, 10})
        for (const auto& [sx, sy] : {std::pair{0, 0}, std::pair{1, 0}, std::pair{1, 1}}) {
            const int s = bits - 8;
            Picture a(37, 5, bits, sx, sy), b(37, 5, bits, sx, sy);
            std::mt19937 random(bits * 10 + sx + sy);
            for (int p = 0; p < 3; ++p)
                for (std::size_t i = 0; i < a.words[p].size(); ++i) {
                    const int lo = 16 << s, hi = (p ? 240 : 235) << s;
                    a.set(p, i, lo + static_cast<int>(random() % (hi - lo + 1)));
                }
            // Chroma of subsampled layouts comes back from the mean of equal
            // values, so it too must come back unchanged.
            std::vector<PIXEL_YC> yc(40 * 5);
            planes_to_yc(a.in(), 37, 5, yc.data(), 40);
            yc_to_planes(yc.data(), 40, 37, 5, b.out());
            for (int p = 0; p < 3; ++p)
                for (std::size_t i = 0; i < a.words[p].size(); ++i)
                    ASSERT_EQ(b.get(p, i), a.get(p, i))
                        << bits << "-bit " << sx << sy << " plane " << p << " at " << i;
        }
    // Every legal value, one by one.
    for (int v = 16; v <= 235; ++v) ASSERT_EQ(luma_to_sample(luma_from_sample(v, 8, false), 8), v);
    for (int v = 16; v <= 240; ++v)
        ASSERT_EQ(chroma_to_sample(chroma_from_sample(v, 8, false), 8), v);
    for (int v = 64; v <= 940; ++v)
        ASSERT_EQ(luma_to_sample(luma_from_sample(v, 10, false), 10), v);
    for (int v = 64; v <= 960; ++v)
        ASSERT_EQ(chroma_to_sample(chroma_from_sample(v, 10, false), 10), v);
}

TEST(PixelConvert, RowsAgreeWithTheFormulaForEverySample) {
    // Any byte in (the vector rows must match the single-sample formula),
    // any 16-bit pixel out (clamped, never wrapped).
    std::mt19937 random(7);
    for (const int sx : {0, 1}) {
        Picture in(53, 4, 8, sx, sx);
        for (int p = 0; p < 3; ++p)
            for (std::size_t i = 0; i < in.bytes[p].size(); ++i)
                in.set(p, i, static_cast<int>(random() % 256));
        std::vector<PIXEL_YC> yc(53 * 4);
        planes_to_yc(in.in(), 53, 4, yc.data(), 53);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 53; ++x) {
                const PIXEL_YC& px = yc[y * 53 + x];
                const std::size_t c = static_cast<std::size_t>(y >> sx) * in.pw(1) + (x >> sx);
                ASSERT_EQ(px.y, luma_from_sample(in.bytes[0][y * 53 + x], 8, false));
                ASSERT_EQ(px.cb, chroma_from_sample(in.bytes[1][c], 8, false));
                ASSERT_EQ(px.cr, chroma_from_sample(in.bytes[2][c], 8, false));
            }
        for (PIXEL_YC& px : yc)
            px = {static_cast<std::int16_t>(random()), static_cast<std::int16_t>(random()),
                  static_cast<std::int16_t>(random())};
        Picture out(53, 4, 8, sx, sx);
        yc_to_planes(yc.data(), 53, 53, 4, out.out());
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 53; ++x)
                ASSERT_EQ(out.bytes[0][y * 53 + x], luma_to_sample(yc[y * 53 + x].y, 8));
        for (int cy = 0; cy < out.ph(1); ++cy)
            for (int cx = 0; cx < out.pw(1); ++cx) {
                int sum = 0, n = 0;
                for (int dy = 0; dy <= sx; ++dy)
                    for (int dx = 0; dx <= sx; ++dx) {
                        const int x = (cx << sx) + dx, y = (cy << sx) + dy;
                        if (x < 53 && y < 4) sum += yc[y * 53 + x].cb, ++n;
                    }
                // The mean rounds half up, as (sum + n/2) / n on the floor.
                const int mean =
                    static_cast<int>(std::floor((sum + n / 2) / static_cast<double>(n)));
                ASSERT_EQ(out.bytes[1][cy * out.pw(1) + cx], chroma_to_sample(mean, 8))
                    << cx << "," << cy;
            }
    }
    EXPECT_EQ(luma_to_sample(-32768, 8), 0);
    EXPECT_EQ(luma_to_sample(32767, 8), 255);
    EXPECT_EQ(chroma_to_sample(32767, 10), 1023);
}

// PNG rows: R, G and B rounded (halves away from zero) and clamped, for
// every pixel, the vector rows and the tail of a row alike.  The values
// include exact halves: Y = 2048 * k / 255 + 8 gives R = G = B = k + 0.5
// whenever that Y is whole.
TEST(PixelConvert, RgbRowsRoundAndClampEveryPixel) {
    std::mt19937 random(11);
    const int w = 61, h = 40;
    std::vector<PIXEL_YC> yc(static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < yc.size(); ++i) {
        if (i % 3 == 0)
            yc[i] = {static_cast<std::int16_t>(random()), static_cast<std::int16_t>(random()),
                     static_cast<std::int16_t>(random())};
        else if (i % 3 == 1)
            yc[i] = {static_cast<std::int16_t>(random() % 4400 - 150),
                     static_cast<std::int16_t>(random() % 4400 - 2200),
                     static_cast<std::int16_t>(random() % 4400 - 2200)};
        else
            yc[i] = {static_cast<std::int16_t>((i * 8) % 4352 - 128), 0,
                     0};  // greys, halves among them
    }
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3 + 5, 77);
    yc_to_rgb24(yc.data(), w, w - 2, h, rgb.data(), static_cast<std::ptrdiff_t>(w) * 3);
    const auto byte = [](double v) {
        const double r = std::round(v * 255.0 / 4096.0);
        return r < 0 ? 0 : (r > 255 ? 255 : static_cast<int>(r));
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w - 2; ++x) {
            const PIXEL_YC& p = yc[static_cast<std::size_t>(y) * w + x];
            const std::uint8_t* d = &rgb[(static_cast<std::size_t>(y) * w + x) * 3];
            ASSERT_EQ(d[0], byte(p.cr * 1.402 + p.y)) << x << "," << y;
            ASSERT_EQ(d[1], byte((p.y - p.cb * 0.344) - p.cr * 0.714)) << x << "," << y;
            ASSERT_EQ(d[2], byte(p.y + p.cb * 1.772)) << x << "," << y;
        }
        // Nothing written past the row's pixels.
        for (int k = (w - 2) * 3; k < w * 3; ++k)
            ASSERT_EQ(rgb[static_cast<std::size_t>(y) * w * 3 + k], 77);
    }
}

TEST(PixelConvert, FullRangeSpansTheWholeScale) {
    EXPECT_EQ(luma_from_sample(0, 8, true), 0);
    EXPECT_EQ(luma_from_sample(255, 8, true), 4096);
    EXPECT_EQ(luma_from_sample(1023, 10, true), 4096);
    EXPECT_EQ(chroma_from_sample(128, 8, true), 0);
    EXPECT_EQ(chroma_from_sample(512, 10, true), 0);
    EXPECT_EQ(chroma_from_sample(255, 8, true), 2040);
    EXPECT_EQ(luma_from_sample(16, 8, false), 0);
    EXPECT_EQ(luma_from_sample(235, 8, false), 4096);
    EXPECT_EQ(luma_from_sample(940, 10, false), 4096);
}

TEST(Y4mHeader, ReadsEveryTagExactlyAndRefusesWhatItCannotRead) {
    Y4mFormat f;
    std::string error;
    ASSERT_TRUE(parse_y4m_header(
        "YUV4MPEG2 W1920 H1080 F30000:1001 It A1:1 C420p10 XCOLORRANGE=FULL", &f, &error));
    EXPECT_EQ(f.width, 1920);
    EXPECT_EQ(f.rate_num, 30000);
    EXPECT_EQ(f.bits, 10);
    EXPECT_TRUE(f.full_range);
    EXPECT_EQ(f.frame_bytes(), 1920u * 1080 * 3);  // 1.5 samples a pixel, 2 bytes each
    ASSERT_TRUE(parse_y4m_header("YUV4MPEG2 W3 H3 C422", &f, &error));
    EXPECT_EQ(f.chroma_width(), 2);
    EXPECT_EQ(f.chroma_height(), 3);
    ASSERT_TRUE(parse_y4m_header("YUV4MPEG2 W4 H2 Cmono16", &f, &error));
    EXPECT_TRUE(f.mono);
    EXPECT_EQ(f.bits, 16);
    ASSERT_TRUE(parse_y4m_header("YUV4MPEG2 W8 H8", &f, &error));
    EXPECT_EQ(f.colour_tag(), "420jpeg");
    EXPECT_EQ(f.bits, 8);

    const std::pair<const char*, const char*> refused[] = {
        {"YUV4MPEG2 W4294967312 H16", "bad width"},
        {"YUV4MPEG2 W-5 H16", "bad width"},
        {"YUV4MPEG2 W16 H0", "bad height"},
        {"YUV4MPEG2 W16 H16 C420p8", "not supported"},
        {"YUV4MPEG2 W16 H16 C444alpha", "not supported"},
        {"YUV4MPEG2 W16 H16 C420jpeg10", "not supported"},
        {"YUV4MPEG2 W16 H16 F30", "bad frame rate"},
        {"YUV4MPEG2 H16", "no picture size"},
        {"YUV4MPEG2X W16 H16", "not a Y4M"},
    };
    for (const auto& [line, says] : refused) {
        EXPECT_FALSE(parse_y4m_header(line, &f, &error)) << line;
        EXPECT_NE(error.find(says), std::string::npos) << line << ": " << error;
    }
    f = Y4mFormat{};
    f.width = 6, f.height = 4, f.bits = 10, f.shift_y = 0;
    EXPECT_EQ(y4m_header(f), "YUV4MPEG2 W6 H4 F30:1 Ip A1:1 C422p10\n");
}

}  // namespace
