// Full-range output: what full-range input became must come back as the
// same samples, in every layout and depth a live stream carries.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "media/pixel_convert.h"

namespace {

TEST(FullRangeOutput, EverySampleSurvivesTheRoundTrip) {
    for (const int bits : {8, 10}) {
        const int max = (1 << bits) - 1;
        for (int v = 0; v <= max; ++v) {
            ASSERT_EQ(luma_to_sample(luma_from_sample(v, bits, true), bits, true), v) << bits;
            ASSERT_EQ(chroma_to_sample(chroma_from_sample(v, bits, true), bits, true), v) << bits;
        }
        // Beyond the scale the samples clamp, never wrap.
        EXPECT_EQ(luma_to_sample(-32768, bits, true), 0);
        EXPECT_EQ(luma_to_sample(32767, bits, true), max);
        EXPECT_EQ(chroma_to_sample(-32768, bits, true), 0);
        EXPECT_EQ(chroma_to_sample(32767, bits, true), max);
        EXPECT_EQ(chroma_to_sample(0, bits, true), 1 << (bits - 1));
    }
}

TEST(FullRangeOutput, PlanesRoundTripInEveryLayout) {
    const int w = 37, h = 6;
    std::mt19937 random(5);
    for (const int bits : {8, 10})
        for (const auto& [sx, sy] : {std::pair{0, 0}, std::pair{1, 0}, std::pair{1, 1}}) {
            const int cw = (w + sx) >> sx, ch = (h + sy) >> sy;
            const int sizes[3] = {w * h, cw * ch, cw * ch};
            const int widths[3] = {w, cw, cw};
            std::vector<std::uint16_t> in[3], out[3];
            Planes planes;
            OutPlanes back;
            for (int p = 0; p < 3; ++p) {
                in[p].resize(static_cast<std::size_t>(sizes[p]));
                out[p].assign(in[p].size(), 0);
                for (auto& s : in[p]) s = static_cast<std::uint16_t>(random() % (1u << bits));
                if (bits == 8) {
                    // Bytes: the words' low halves, packed.
                    auto* bytes = reinterpret_cast<std::uint8_t*>(in[p].data());
                    for (std::size_t i = 0; i < in[p].size(); ++i)
                        bytes[i] = static_cast<std::uint8_t>(in[p][i]);
                }
                planes.data[p] = in[p].data();
                back.data[p] = out[p].data();
                planes.stride[p] = back.stride[p] = widths[p] * (bits == 8 ? 1 : 2);
            }
            planes.bits = back.bits = bits;
            planes.shift_x = back.shift_x = sx;
            planes.shift_y = back.shift_y = sy;
            planes.full_range = back.full_range = true;
            // Subsampled chroma comes back from the mean of equal values.
            std::vector<PIXEL_YC> yc(static_cast<std::size_t>(w) * h);
            planes_to_yc(planes, w, h, yc.data(), w);
            yc_to_planes(yc.data(), w, w, h, back);
            for (int p = 0; p < 3; ++p) {
                const std::size_t bytes = in[p].size() * (bits == 8 ? 1 : 2);
                ASSERT_EQ(0, std::memcmp(in[p].data(), out[p].data(), bytes))
                    << bits << "-bit " << sx << sy << " plane " << p;
            }
        }
}

}  // namespace
