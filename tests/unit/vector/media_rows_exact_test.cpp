// The host program's pixel conversions against their single-sample
// formulas, bit for bit, on every instruction set this machine runs: every
// layout, depth and range in, any sample value (beyond the legal ones too),
// any pixel out, and widths that leave vector blocks and plain tails.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "buffers/pixel_format.h"
#include "each_target.h"
#include "media/pixel_convert.h"

namespace {

const int kWidths[] = {1, 2, 7, 16, 31, 33, 64, 97, 130};
constexpr int kH = 3;

// w x kH samples of each plane of a layout, chroma subsampled by sx, sy.
struct Samples {
    int w, bits, sx, sy;
    std::vector<std::uint16_t> planes[3];
    int pw(int p) const { return p ? (w + (1 << sx) - 1) >> sx : w; }
    int ph(int p) const { return p ? (kH + (1 << sy) - 1) >> sy : kH; }
    Samples(int w_, int bits_, int sx_, int sy_, unsigned seed)
        : w(w_), bits(bits_), sx(sx_), sy(sy_) {
        std::mt19937 rng(seed);
        const unsigned top = bits == 8 ? 256 : 65536;  // deeper samples: any 16-bit word
        for (int p = 0; p < 3; ++p)
            for (int i = 0; i < pw(p) * ph(p); ++i)
                planes[p].push_back(
                    static_cast<std::uint16_t>(rng() % 5 == 0 ? top - 1 : rng() % top));
    }
    int at(int p, int x, int y) const { return planes[p][static_cast<std::size_t>(y) * pw(p) + x]; }
};

TEST(MediaRowsExact, SamplesIn) {
    const int layouts[][2] = {{0, 0}, {1, 0}, {1, 1}};
    for (int bits : {8, 10, 16})
        for (const auto& l : layouts)
            for (bool full : {false, true})
                for (int w : kWidths) {
                    const Samples s(w, bits, l[0], l[1], static_cast<unsigned>(bits * 100 + w));
                    std::vector<std::uint8_t> bytes[3];
                    Planes in;
                    for (int p = 0; p < 3; ++p) {
                        bytes[p].assign(s.planes[p].begin(), s.planes[p].end());
                        in.data[p] = bits == 8 ? static_cast<const void*>(bytes[p].data())
                                               : s.planes[p].data();
                        in.stride[p] = s.pw(p) * (bits == 8 ? 1 : 2);
                    }
                    in.bits = bits, in.shift_x = l[0], in.shift_y = l[1], in.full_range = full;
                    std::vector<PIXEL_YC> want(static_cast<std::size_t>(w) * kH);
                    for (int y = 0; y < kH; ++y)
                        for (int x = 0; x < w; ++x)
                            want[y * w + x] = {
                                static_cast<short>(luma_from_sample(s.at(0, x, y), bits, full)),
                                static_cast<short>(
                                    chroma_from_sample(s.at(1, x >> l[0], y >> l[1]), bits, full)),
                                static_cast<short>(
                                    chroma_from_sample(s.at(2, x >> l[0], y >> l[1]), bits, full))};
                    for_each_target([&](const std::string& target) {
                        std::vector<PIXEL_YC> got(want.size());
                        planes_to_yc(in, w, kH, got.data(), w);
                        for (std::size_t k = 0; k < got.size(); ++k)
                            ASSERT_TRUE(got[k].y == want[k].y && got[k].cb == want[k].cb &&
                                        got[k].cr == want[k].cr)
                                << bits << "-bit " << l[0] << l[1] << (full ? " full" : "")
                                << " width " << w << ", pixel " << k << " on " << target;
                    });
                }
}

TEST(MediaRowsExact, PixelsOut) {
    const int layouts[][2] = {{0, 0}, {1, 0}, {1, 1}};
    std::mt19937 rng(3);
    for (int bits : {8, 10})
        for (const auto& l : layouts)
            for (int w : kWidths) {
                std::vector<PIXEL_YC> px(static_cast<std::size_t>(w) * kH);
                for (PIXEL_YC& p : px)
                    p = {static_cast<short>(rng()), static_cast<short>(rng()),
                         static_cast<short>(rng())};
                px[0].cb = -32768, px[px.size() - 1].cr = 32767;
                const int sx = l[0], sy = l[1], cw = (w + sx) >> sx, ch = (kH + sy) >> sy;
                // The chroma sample of (cx, cy): the floor of the mean of the
                // pixels it covers, a missing row counting as the one above.
                std::vector<int> want[3];
                for (int y = 0; y < kH; ++y)
                    for (int x = 0; x < w; ++x)
                        want[0].push_back(luma_to_sample(px[y * w + x].y, bits));
                for (int c = 1; c < 3; ++c)
                    for (int cy = 0; cy < ch; ++cy)
                        for (int cx = 0; cx < cw; ++cx) {
                            const int ya = cy << sy, yb = sy && ya + 1 < kH ? ya + 1 : ya;
                            auto v = [&](int x, int y) {
                                const PIXEL_YC& p = px[y * w + x];
                                return c == 1 ? p.cb : p.cr;
                            };
                            int mean;
                            if (!sx && !sy)
                                mean = v(cx, cy);
                            else if (2 * cx + 1 < w)
                                mean = (v(2 * cx, ya) + v(2 * cx + 1, ya) + v(2 * cx, yb) +
                                        v(2 * cx + 1, yb) + 2) >>
                                       2;
                            else
                                mean = (v(w - 1, ya) + v(w - 1, yb) + 1) >> 1;
                            want[c].push_back(chroma_to_sample(mean, bits));
                        }
                for_each_target([&](const std::string& target) {
                    std::vector<std::uint16_t> words[3];
                    std::vector<std::uint8_t> bytes[3];
                    OutPlanes out;
                    for (int p = 0; p < 3; ++p) {
                        const int pw = p ? cw : w, ph = p ? ch : kH;
                        words[p].assign(static_cast<std::size_t>(pw) * ph, 0);
                        bytes[p].assign(words[p].size(), 0);
                        out.data[p] =
                            bits == 8 ? static_cast<void*>(bytes[p].data()) : words[p].data();
                        out.stride[p] = pw * (bits == 8 ? 1 : 2);
                    }
                    out.bits = bits, out.shift_x = sx, out.shift_y = sy;
                    yc_to_planes(px.data(), w, w, kH, out);
                    for (int p = 0; p < 3; ++p)
                        for (std::size_t k = 0; k < want[p].size(); ++k)
                            ASSERT_EQ(bits == 8 ? bytes[p][k] : words[p][k], want[p][k])
                                << bits << "-bit " << sx << sy << " width " << w << ", plane " << p
                                << " sample " << k << " on " << target;
                });
            }
}

TEST(MediaRowsExact, RgbBytes) {
    // Any pixels, nominal ones, and every grey of the nominal range (some
    // fall on halves, which round away from zero).
    std::mt19937 rng(5);
    std::vector<int> widths(std::begin(kWidths), std::end(kWidths));
    widths.push_back(4600);
    for (int w : widths) {
        std::vector<PIXEL_YC> px(static_cast<std::size_t>(w) * kH);
        for (PIXEL_YC& p : px)
            p = rng() % 2 ? PIXEL_YC{static_cast<short>(rng()), static_cast<short>(rng()),
                                     static_cast<short>(rng())}
                          : PIXEL_YC{static_cast<short>(rng() % 4400 - 150),
                                     static_cast<short>(rng() % 4200 - 2100),
                                     static_cast<short>(rng() % 4200 - 2100)};
        if (w == 4600)
            for (int x = 0; x < w; ++x) px[x] = {static_cast<short>(x - 250), 0, 0};
        std::vector<std::uint8_t> want;
        for (const PIXEL_YC& p : px) {
            const Triple c = yc_to_rgb(p.y, p.cb, p.cr);
            for (double v : {c.a, c.b, c.c}) {
                const double r = std::round(v * 255.0 / 4096.0);
                want.push_back(static_cast<std::uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r));
            }
        }
        for_each_target([&](const std::string& target) {
            std::vector<std::uint8_t> got(want.size());
            yc_to_rgb24(px.data(), w, w, kH, got.data(), 3 * w);
            for (std::size_t k = 0; k < got.size(); ++k)
                ASSERT_EQ(got[k], want[k]) << "width " << w << ", byte " << k << " on " << target;
        });
    }
}

}  // namespace
