// Copy and alpha blending on a 1920 x 1080 frame at 1 and 2 workers (the
// last argument), beside their references (see bench_frame.h).
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>

#include "bench_frame.h"
#include "buffers/copy_frame.h"
#include "draw/alpha.h"
#include "draw/copy.h"
#include "platform/thread_pool.h"

namespace {

constexpr int kW = BenchFrame::kWidth, kH = BenchFrame::kHeight;

// A source, a destination and a mask of grades 0..4096 (a soft key).
struct Frames {
    BenchFrame src{1}, dst{2}, mask{3};
    Frames() {
        for (PIXEL_YC& p : mask.pixels)
            p = {static_cast<short>(p.y < 0 ? 0 : p.y > 4096 ? 4096 : p.y), 0, 0};
    }
};

Frames& frames() {
    static Frames f;
    return f;
}

const PairArea kPair{0, 0, 0, 0, kW, kH};
const MaskedArea kMasked{0, 0, 0, 0, 0, 0, kW, kH};

#define BENCH_ARGS ->Arg(1)->Arg(2)->MinTime(0.2)->Unit(benchmark::kMillisecond)

// The blends write into the destination, which therefore drifts from one
// iteration to the next; every pixel is still blended the same way.
template <class Kernel>
void run(benchmark::State& state, Kernel kernel) {
    pool::set_worker_count(static_cast<int>(state.range(0)));
    Frames& f = frames();
    for (auto _ : state) {
        kernel(f.src.frame(), f.dst.frame(), f.mask.frame());
        benchmark::DoNotOptimize(f.dst.pixels.data());
    }
    report_megapixels(state);
}

#define DRAW_BENCH(name, ...)                                           \
    void BM_##name(benchmark::State& state) {                           \
        run(state, [](const Frame& s, const Frame& d, const Frame& m) { \
            (void)m;                                                    \
            __VA_ARGS__;                                                \
        });                                                             \
    }                                                                   \
    BENCHMARK(BM_##name) BENCH_ARGS

// alpha with a constant opacity (key -32768: every pixel); OpenCV's
// weighted sum of two images.
DRAW_BENCH(alpha, alpha_constant(s, d, kPair, 1228, -32768));
void BM_cv_alpha(benchmark::State& state) {
    cv::setNumThreads(1);
    Frames& f = frames();
    cv::Mat s(kH, kW, CV_16SC3, f.src.pixels.data()), d(kH, kW, CV_16SC3, f.dst.pixels.data());
    for (auto _ : state) cv::addWeighted(s, 0.3, d, 0.7, 0, d);
    report_megapixels(state);
}
BENCHMARK(BM_cv_alpha)->Arg(1)->MinTime(0.2)->Unit(benchmark::kMillisecond);

DRAW_BENCH(alpha_key, alpha_constant(s, d, kPair, 1228, 2048));
MEMCPY_REFERENCE(alpha_key, 3);
DRAW_BENCH(alpha_mask, alpha_masked(s, d, m, kMasked));
MEMCPY_REFERENCE(alpha_mask, 4);
DRAW_BENCH(alpha_mask_key, alpha_masked_keyed(s, d, m, kMasked, 1228, 2048));
MEMCPY_REFERENCE(alpha_mask_key, 4);
DRAW_BENCH(alpha_yc, alpha_yc(s, d, kPair, 1000, 2000, 3000));
MEMCPY_REFERENCE(alpha_yc, 3);
DRAW_BENCH(alpha_rgb, alpha_rgb(s, d, kPair, 1000, 2000, 3000));
MEMCPY_REFERENCE(alpha_rgb, 3);

DRAW_BENCH(copy, copy_area(s, 0, 0, d, 0, 0, kW, kH));
MEMCPY_REFERENCE(copy, 2);
DRAW_BENCH(copy_key, copy_keyed(s, d, kPair, 2048));
MEMCPY_REFERENCE(copy_key, 3);
DRAW_BENCH(copy_mask, copy_masked(s, d, m, kMasked, 2048));
MEMCPY_REFERENCE(copy_mask, 4);

}  // namespace
