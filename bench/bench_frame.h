// A 1920 x 1080 test frame for benchmarks, filled with a deterministic mix of
// colours and noise so that branches in the kernels are not all taken alike.
#pragma once

#include <cstdint>
#include <vector>

#include "buffers/frame.h"

struct BenchFrame {
    static constexpr int kWidth = 1920;
    static constexpr int kHeight = 1080;
    std::vector<PIXEL_YC> pixels;

    explicit BenchFrame(std::uint32_t seed = 1) : pixels(static_cast<std::size_t>(kWidth) * kHeight) {
        std::uint32_t s = seed;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                s = s * 1664525u + 1013904223u;
                const int noise = static_cast<int>(s >> 24) - 128;
                PIXEL_YC& p = pixels[static_cast<std::size_t>(y) * kWidth + x];
                p.y = static_cast<std::int16_t>((x * 4096) / kWidth + noise);
                p.cb = static_cast<std::int16_t>(((y * 4096) / kHeight) - 2048 + noise);
                p.cr = static_cast<std::int16_t>((((x + y) * 4096) / (kWidth + kHeight)) - 2048);
            }
    }
    Frame frame() { return {pixels.data(), kWidth, kHeight}; }
};
