// The spatial filters and the OpenCV bridge on a 1920 x 1080 frame at 1
// and 2 threads, each beside the OpenCV call that does the nearest job on
// the same pixels (RGB values of the frame in the OpenCV element type the
// comparison names).  Ours includes its copies into and out of the work
// arrays.  The last argument is the thread count (row loops and toolkit
// workers here, cv::setNumThreads there).
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "bench_frame.h"
#include "buffers/numeric.h"
#include "buffers/pixel_format.h"
#include "filters/convolution.h"
#include "filters/defocus.h"
#include "filters/gaussian.h"
#include "filters/median.h"
#include "ocv/bridge.h"
#include "platform/thread_pool.h"

namespace {

constexpr int kW = BenchFrame::kWidth;
constexpr int kH = BenchFrame::kHeight;
constexpr double kMegapixels = kW * kH / 1e6;

BenchFrame& source() {
    static BenchFrame f(3);
    return f;
}

void report(benchmark::State& state) {
    state.counters["MP/s"] =
        benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

// The frame's RGB values (as the filters' copy-in makes them) in `type`.
cv::Mat rgb_mat(int type) {
    cv::Mat m(kH, kW, CV_64FC3);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const PIXEL_YC p = source().pixels[static_cast<std::size_t>(y) * kW + x];
            const Triple t = yc_to_rgb(p.y, p.cb, p.cr);
            m.at<cv::Vec3d>(y, x) = {double(to_component(t.a)), double(to_component(t.b)),
                                     double(to_component(t.c))};
        }
    cv::Mat out;
    m.convertTo(out, type);
    return out;
}

struct Run {
    std::vector<PIXEL_YC> out = std::vector<PIXEL_YC>(static_cast<std::size_t>(kW) * kH);
    AreaJob job;
    explicit Run(int threads) {
        pool::set_worker_count(threads);
        job.source = source().frame();
        job.destination = {out.data(), kW, kH};
        job.picture_w = job.w = kW;
        job.picture_h = job.h = kH;
        job.threads = static_cast<std::uint32_t>(threads);
    }
};

const double kBinomial[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
const double kFractional[9] = {0.05, 0.1, 0.05, 0.1, 0.4, 0.1, 0.05, 0.1, 0.05};

void BM_linear_3x3(benchmark::State& state) {
    Run r(static_cast<int>(state.range(0)));
    for (auto _ : state) linear_region(r.job, kBinomial, 3, 3);
    report(state);
}

void BM_linear_3x3_fractional(benchmark::State& state) {
    Run r(static_cast<int>(state.range(0)));
    for (auto _ : state) linear_region(r.job, kFractional, 3, 3);
    report(state);
}

void BM_cv_filter2D_3x3(benchmark::State& state) {
    cv::setNumThreads(static_cast<int>(state.range(0)));
    const cv::Mat src = rgb_mat(CV_16SC3);
    const cv::Mat k = cv::Mat(3, 3, CV_64F, const_cast<double*>(kBinomial)) / 16.0;
    cv::Mat dst;
    for (auto _ : state) cv::filter2D(src, dst, -1, k);
    report(state);
}

void BM_laplacian(benchmark::State& state) {
    Run r(static_cast<int>(state.range(0)));
    for (auto _ : state) laplacian_region(r.job);
    report(state);
}

void BM_cv_Laplacian(benchmark::State& state) {
    cv::setNumThreads(static_cast<int>(state.range(0)));
    const cv::Mat src = rgb_mat(CV_16SC3);
    cv::Mat dst;
    for (auto _ : state) cv::Laplacian(src, dst, -1, 1);
    report(state);
}

void BM_gaussian_sigma2(benchmark::State& state) {
    Run r(static_cast<int>(state.range(0)));
    for (auto _ : state) gaussian_region(r.job, 2.0);
    report(state);
}

void BM_cv_GaussianBlur_sigma2(benchmark::State& state) {
    cv::setNumThreads(static_cast<int>(state.range(0)));
    const cv::Mat src = rgb_mat(CV_32FC3);
    cv::Mat dst;
    for (auto _ : state) cv::GaussianBlur(src, dst, cv::Size(0, 0), 2.0);
    report(state);
}

void BM_defocus_5x5(benchmark::State& state) {
    Run r(static_cast<int>(state.range(0)));
    for (auto _ : state) defocus_region(r.job, 5, 5);
    report(state);
}

void BM_cv_blur_5x5(benchmark::State& state) {
    cv::setNumThreads(static_cast<int>(state.range(0)));
    const cv::Mat src = rgb_mat(CV_16SC3);
    cv::Mat dst;
    for (auto _ : state) cv::blur(src, dst, cv::Size(5, 5));
    report(state);
}

// Arguments: window, threads.
void BM_median(benchmark::State& state) {
    Run r(static_cast<int>(state.range(1)));
    const int k = static_cast<int>(state.range(0));
    for (auto _ : state) median_region(r.job, k, k);
    report(state);
}

// The same on one buffer: source and destination share memory, so the
// region goes through whole work arrays instead of streaming its rows.
void BM_median_in_place(benchmark::State& state) {
    Run r(static_cast<int>(state.range(1)));
    const int k = static_cast<int>(state.range(0));
    std::copy(source().pixels.begin(), source().pixels.end(), r.out.begin());
    r.job.source = r.job.destination;
    for (auto _ : state) median_region(r.job, k, k);
    report(state);
}

void BM_cv_medianBlur(benchmark::State& state) {
    cv::setNumThreads(static_cast<int>(state.range(1)));
    const cv::Mat src = rgb_mat(CV_16UC3);
    cv::Mat dst;
    for (auto _ : state) cv::medianBlur(src, dst, static_cast<int>(state.range(0)));
    report(state);
}

void BM_cvcanny(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    pool::set_worker_count(threads);
    cv::setNumThreads(threads);
    std::vector<PIXEL_YC> out(static_cast<std::size_t>(kW) * kH);
    AreaJob job{source().frame(), {out.data(), kW, kH}, 0, 0, kW, kH, 0, 0};
    for (auto _ : state) canny_region(job, 50, 150, 3);
    report(state);
}

void BM_cv_Canny(benchmark::State& state) {
    cv::setNumThreads(static_cast<int>(state.range(0)));
    cv::Mat plane(kH, kW, CV_8U);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const int v = source().pixels[static_cast<std::size_t>(y) * kW + x].y;
            plane.at<std::uint8_t>(y, x) = static_cast<std::uint8_t>(v < 0      ? 0
                                                                     : v > 4095 ? 255
                                                                                : v >> 4);
        }
    cv::Mat edges;
    for (auto _ : state) cv::Canny(plane, edges, 50, 150, 3, false);
    report(state);
}

}  // namespace

// The machine is shared: each case runs five times and reports, besides the
// usual aggregates, its fastest run, the least disturbed one.
static double fastest(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}
#define FILTER_RUNS                         \
    ->MinTime(0.3)                          \
        ->Repetitions(5)                    \
        ->ComputeStatistics("min", fastest) \
        ->ReportAggregatesOnly(true)        \
        ->UseRealTime()                     \
        ->Unit(benchmark::kMillisecond)
#define FILTER_ARGS ->Arg(1)->Arg(2) FILTER_RUNS
#define MEDIAN_ARGS ->ArgsProduct({{3, 5}, {1, 2}}) FILTER_RUNS
BENCHMARK(BM_linear_3x3) FILTER_ARGS;
BENCHMARK(BM_linear_3x3_fractional) FILTER_ARGS;
BENCHMARK(BM_cv_filter2D_3x3) FILTER_ARGS;
BENCHMARK(BM_laplacian) FILTER_ARGS;
BENCHMARK(BM_cv_Laplacian) FILTER_ARGS;
BENCHMARK(BM_gaussian_sigma2) FILTER_ARGS;
BENCHMARK(BM_cv_GaussianBlur_sigma2) FILTER_ARGS;
BENCHMARK(BM_defocus_5x5) FILTER_ARGS;
BENCHMARK(BM_cv_blur_5x5) FILTER_ARGS;
BENCHMARK(BM_median) MEDIAN_ARGS;
BENCHMARK(BM_median_in_place) MEDIAN_ARGS;
BENCHMARK(BM_cv_medianBlur) MEDIAN_ARGS;
BENCHMARK(BM_cvcanny) FILTER_ARGS;
BENCHMARK(BM_cv_Canny) FILTER_ARGS;
