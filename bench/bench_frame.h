// Test frames for the benchmarks (1920 x 1080, filled with a deterministic
// mix of colours and noise so that branches in the kernels are not all
// taken alike) and the conventions every benchmark follows, which
// bench/report.sh relies on to pair each of ours with its reference:
//
//   BM_<name>/.../<threads>         ours, the thread count the last argument
//   BM_cv_<name>/.../<threads>      the OpenCV call doing the same job
//   BM_memcpy_<name>/.../<threads>  where OpenCV has none: a memcpy moving as
//                                   many bytes as <name> reads and writes
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "buffers/frame.h"

struct BenchFrame {
    static constexpr int kWidth = 1920;
    static constexpr int kHeight = 1080;
    std::vector<PIXEL_YC> pixels;

    explicit BenchFrame(std::uint32_t seed = 1)
        : pixels(static_cast<std::size_t>(kWidth) * kHeight) {
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

constexpr double kBenchMegapixels = double(BenchFrame::kWidth) * BenchFrame::kHeight / 1e6;
constexpr std::size_t kBenchFrameBytes =
    sizeof(PIXEL_YC) * static_cast<std::size_t>(BenchFrame::kWidth) * BenchFrame::kHeight;

inline void report_megapixels(benchmark::State& state) {
    state.counters["MP/s"] =
        benchmark::Counter(kBenchMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

// The memcpy reference of a function that reads and writes `frames` frames
// in all (an in-place function: 2): half of that is copied, since a copy
// reads as much as it writes.
inline void run_memcpy(benchmark::State& state, double frames) {
    const std::size_t bytes = static_cast<std::size_t>(kBenchFrameBytes * frames / 2);
    std::vector<unsigned char> from(bytes, 1), to(bytes, 2);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    report_megapixels(state);
}

#define MEMCPY_REFERENCE(name, frames)                                            \
    void BM_memcpy_##name(benchmark::State& state) { run_memcpy(state, frames); } \
    BENCHMARK(BM_memcpy_##name)->Arg(1)->MinTime(0.2)->Unit(benchmark::kMillisecond)
