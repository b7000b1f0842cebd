// Geometry and shape filling on the 1920 x 1080 bench frame at 1 and 2
// threads (the argument), each beside the OpenCV call or memory routine that
// does the same job on the same data: cv::flip, cv::resize and cv::warpAffine
// (bilinear, transparent border) on CV_16SC3, memset for fill, memcpy for
// mosaic's two passes.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstring>
#include <vector>

#include "bench_frame.h"
#include "draw/fill.h"
#include "geometry/flip.h"
#include "geometry/mosaic.h"
#include "geometry/resample.h"
#include "platform/thread_pool.h"

namespace {

constexpr int kW = BenchFrame::kWidth;
constexpr int kH = BenchFrame::kHeight;
constexpr double kAngle = 0.3;

BenchFrame& source() {
    static BenchFrame f(7);
    return f;
}

cv::Mat source_mat() { return cv::Mat(kH, kW, CV_16SC3, source().pixels.data()); }

// The thread count is the last argument (the first unless told).
void set_threads(benchmark::State& state, int argument = 0) {
    const int n = static_cast<int>(state.range(argument));
    pool::set_worker_count(n);
    cv::setNumThreads(n);
}

void report(benchmark::State& state, double pixels = double(kW) * kH) {
    state.counters["MP/s"] =
        benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// Ours into a destination frame of the bench size.
template <class Kernel>
void run_ours(benchmark::State& state, Kernel kernel, double pixels = double(kW) * kH,
              int threads_argument = 0) {
    set_threads(state, threads_argument);
    BenchFrame out(3);
    const Frame src = source().frame();
    const Frame dst = out.frame();
    for (auto _ : state) {
        kernel(src, dst);
        benchmark::DoNotOptimize(out.pixels.data());
    }
    report(state, pixels);
}

// The affine map of rotate_region's job, as OpenCV's forward matrix: a turn
// by kAngle about the frame centre.  Source offset (1, 0) goes to (cos, sin).
cv::Mat rotation_matrix() {
    const double c = std::cos(kAngle), s = std::sin(kAngle);
    const double cx = kW / 2.0, cy = kH / 2.0;
    return (cv::Mat_<double>(2, 3) << c, -s, cx - c * cx + s * cy, s, c, cy - s * cx - c * cy);
}

void BM_fliph(benchmark::State& s) {
    run_ours(s, [](const Frame& a, const Frame& b) {
        flip_horizontal(a, b, {0, 0, kW, kH, 0, 0});
    });
}
void BM_flipv(benchmark::State& s) {
    run_ours(s, [](const Frame& a, const Frame& b) { flip_vertical(a, b, {0, 0, kW, kH, 0, 0}); });
}
void run_cv_flip(benchmark::State& state, int code) {
    set_threads(state);
    const cv::Mat src = source_mat();
    cv::Mat dst(kH, kW, CV_16SC3);
    for (auto _ : state) cv::flip(src, dst, code);
    report(state);
}
void BM_cv_fliph(benchmark::State& s) { run_cv_flip(s, 1); }
void BM_cv_flipv(benchmark::State& s) { run_cv_flip(s, 0); }

void BM_rotate(benchmark::State& s) {
    run_ours(s, [](const Frame& a, const Frame& b) {
        rotate_region(a, b, {kAngle, kW / 2, kH / 2, 0, 0, kW, kH, 0, 0});
    });
}
void BM_affine(benchmark::State& s) {
    const cv::Mat m = rotation_matrix();
    AffineJob job{0, 0, kW, kH, {}};
    for (int k = 0; k < 6; ++k) job.m[k] = m.at<double>(k / 3, k % 3);
    run_ours(s, [&job](const Frame& a, const Frame& b) { affine_region(a, b, job); });
}
void BM_cv_warpAffine(benchmark::State& state) {
    set_threads(state);
    const cv::Mat src = source_mat();
    const cv::Mat m = rotation_matrix();
    cv::Mat dst(kH, kW, CV_16SC3, cv::Scalar::all(0));
    for (auto _ : state)
        cv::warpAffine(src, dst, m, dst.size(), cv::INTER_LINEAR, cv::BORDER_TRANSPARENT);
    report(state);
}

// Argument 0: the destination width (1280 x 720 or 3840 x 2160).  Ours
// writes the part of the destination region that fits the 1920 x 1080
// buffer; OpenCV makes the whole picture.  The rate counts pixels written.
void BM_resize(benchmark::State& s) {
    const int dw = static_cast<int>(s.range(0)), dh = dw * 9 / 16;
    run_ours(
        s,
        [dw, dh](const Frame& a, const Frame& b) {
            resize_region(a, b, {0, 0, kW, kH, 0, 0, dw, dh});
        },
        double(std::min(dw, kW)) * std::min(dh, kH), 1);
}
void BM_cv_resize(benchmark::State& state) {
    set_threads(state, 1);
    const int dw = static_cast<int>(state.range(0)), dh = dw * 9 / 16;
    const cv::Mat src = source_mat();
    cv::Mat dst(dh, dw, CV_16SC3);
    for (auto _ : state) cv::resize(src, dst, dst.size(), 0, 0, cv::INTER_LINEAR);
    report(state, double(dw) * dh);
}

void BM_fill(benchmark::State& s) {
    run_ours(s, [](const Frame&, const Frame& b) {
        fill_region(b, {0, 0, kW, kH}, {4096, -7, 9});
    });
}
void BM_memset(benchmark::State& state) {
    set_threads(state);
    BenchFrame out(3);
    for (auto _ : state) {
        std::memset(out.pixels.data(), 1, out.pixels.size() * sizeof(PIXEL_YC));
        benchmark::DoNotOptimize(out.pixels.data());
    }
    report(state);
}

void BM_mosaic16(benchmark::State& s) {
    run_ours(s, [](const Frame& a, const Frame& b) { mosaic(a, b, {0, 0, kW, kH, 0, 0, 16, 16}); });
}
// The floor of mosaic's two passes: reading the source once and writing the
// destination once, as one copy.
void BM_memcpy(benchmark::State& state) {
    set_threads(state);
    BenchFrame out(3);
    for (auto _ : state) {
        std::memcpy(out.pixels.data(), source().pixels.data(),
                    out.pixels.size() * sizeof(PIXEL_YC));
        benchmark::DoNotOptimize(out.pixels.data());
    }
    report(state);
}

}  // namespace

#define GEOMETRY_ARGS ->Arg(1)->Arg(2)->MinTime(0.3)->UseRealTime()->Unit(benchmark::kMillisecond)
BENCHMARK(BM_fliph) GEOMETRY_ARGS;
BENCHMARK(BM_cv_fliph) GEOMETRY_ARGS;
BENCHMARK(BM_flipv) GEOMETRY_ARGS;
BENCHMARK(BM_cv_flipv) GEOMETRY_ARGS;
BENCHMARK(BM_rotate) GEOMETRY_ARGS;
BENCHMARK(BM_affine) GEOMETRY_ARGS;
BENCHMARK(BM_cv_warpAffine) GEOMETRY_ARGS;
BENCHMARK(BM_resize)
    ->ArgsProduct({{1280, 3840}, {1, 2}})
    ->MinTime(0.3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_cv_resize)
    ->ArgsProduct({{1280, 3840}, {1, 2}})
    ->MinTime(0.3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_fill) GEOMETRY_ARGS;
BENCHMARK(BM_memset) GEOMETRY_ARGS;
BENCHMARK(BM_mosaic16) GEOMETRY_ARGS;
BENCHMARK(BM_memcpy) GEOMETRY_ARGS;
