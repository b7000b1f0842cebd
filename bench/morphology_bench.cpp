// Morphology and labelling on a 1920 x 1080 mask at 1 and 2 threads, each
// beside the OpenCV call that does the same job on the same data.  The
// second argument is the thread count (toolkit workers and row loops here,
// cv::setNumThreads there).
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <random>
#include <vector>

#include "bench_frame.h"
#include "buffers/rows.h"
#include "platform/thread_pool.h"
#include "mask/label.h"
#include "mask/morphology.h"

namespace {

constexpr int kW = BenchFrame::kWidth;
constexpr int kH = BenchFrame::kHeight;
constexpr double kMegapixels = kW * kH / 1e6;

// A mask of 8 x 8 blocks, each on with probability 1/4, with salt noise:
// thousands of components of many shapes, and holes in the larger ones.
std::vector<PIXEL_YC> make_mask() {
    std::vector<PIXEL_YC> m(static_cast<std::size_t>(kW) * kH);
    std::mt19937 rng(12345);
    std::vector<std::uint8_t> blocks(static_cast<std::size_t>(kW / 8) * (kH / 8 + 1));
    for (auto& b : blocks) b = rng() % 4 == 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const bool on = blocks[static_cast<std::size_t>(y / 8) * (kW / 8) + x / 8] != 0;
            const bool flip = rng() % 64 == 0;
            m[static_cast<std::size_t>(y) * kW + x] = {static_cast<short>(on != flip ? 4096 : 0), 0, 0};
        }
    return m;
}

std::vector<PIXEL_YC>& mask() {
    static std::vector<PIXEL_YC> m = make_mask();
    return m;
}

cv::Mat mask_mat() {
    cv::Mat m(kH, kW, CV_16S);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) m.at<short>(y, x) = mask()[static_cast<std::size_t>(y) * kW + x].y;
    return m;
}

cv::Mat disc_kernel(int r) {
    cv::Mat k = cv::Mat::zeros(2 * r + 1, 2 * r + 1, CV_8U);
    for (int i = -r; i <= r; ++i)
        for (int j = -r; j <= r; ++j)
            if (i * i + j * j <= r * r) k.at<std::uint8_t>(i + r, j + r) = 1;
    return k;
}

const double kSquare5[25] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

void report(benchmark::State& state) {
    state.counters["MP/s"] =
        benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

// Toolkit morphology on the whole picture; arg 0: radius (0 = 5 x 5 table).
void run_morphology(benchmark::State& state, MorphologyOp op) {
    const int threads = static_cast<int>(state.range(1));
    pool::set_worker_count(threads);
    std::vector<PIXEL_YC> out(mask().size());
    MorphologyJob job;
    job.source = {mask().data(), kW, kH};
    job.destination = {out.data(), kW, kH};
    job.w = job.picture_w = kW;
    job.h = job.picture_h = kH;
    MorphologyElement element;
    if (state.range(0) == 0) {
        element.is_table = true;
        element.cells = kSquare5;
        element.rows = element.cols = 5;
    } else {
        element.radius = static_cast<int>(state.range(0));
    }
    for (auto _ : state) morphology_region(job, element, op, static_cast<std::uint32_t>(threads));
    report(state);
}

void run_cv_morphology(benchmark::State& state, cv::MorphTypes op) {
    cv::setNumThreads(static_cast<int>(state.range(1)));
    const cv::Mat src = mask_mat();
    const cv::Mat k = state.range(0) == 0 ? cv::Mat(5, 5, CV_8U, cv::Scalar(1))
                                          : disc_kernel(static_cast<int>(state.range(0)));
    cv::Mat dst;
    for (auto _ : state) cv::morphologyEx(src, dst, op, k);
    report(state);
}

void BM_erode(benchmark::State& s) { run_morphology(s, MorphologyOp::erode); }
void BM_cv_erode(benchmark::State& s) { run_cv_morphology(s, cv::MORPH_ERODE); }
void BM_open(benchmark::State& s) { run_morphology(s, MorphologyOp::open); }
void BM_cv_open(benchmark::State& s) { run_cv_morphology(s, cv::MORPH_OPEN); }

// Labelling of the whole noisy mask into `out`.
LabelJob whole_mask_job(std::vector<PIXEL_YC>& out) {
    LabelJob job;
    job.source = {mask().data(), kW, kH};
    job.destination = {out.data(), kW, kH};
    job.w = kW;
    job.h = kH;
    return job;
}

void BM_label8(benchmark::State& state) {
    pool::set_worker_count(static_cast<int>(state.range(0)));
    std::vector<PIXEL_YC> out(mask().size());
    const LabelJob job = whole_mask_job(out);
    std::vector<ComponentInfo> found(static_cast<std::size_t>(component_capacity(kW, kH)));
    std::int32_t count = 0;
    for (auto _ : state) count = label_region(job, true, ComponentLimits{}, found.data());
    state.counters["components"] = count;
    report(state);
}

void BM_cv_label8(benchmark::State& state) {
    cv::setNumThreads(static_cast<int>(state.range(0)));
    cv::Mat fg;
    mask_mat().convertTo(fg, CV_8U, 1.0 / 16);
    cv::Mat labels, stats, centroids;
    int n = 0;
    for (auto _ : state) n = cv::connectedComponentsWithStats(fg, labels, stats, centroids, 8, CV_16U);
    state.counters["components"] = n - 1;
    report(state);
}

void BM_remove_hole(benchmark::State& state) {
    pool::set_worker_count(static_cast<int>(state.range(0)));
    std::vector<PIXEL_YC> out(mask().size());
    const LabelJob job = whole_mask_job(out);
    for (auto _ : state) remove_holes(job);
    report(state);
}

// The same job in OpenCV: label the background with 4-connectivity, keep
// the largest background component, everything else becomes 4096.
void BM_cv_remove_hole(benchmark::State& state) {
    cv::setNumThreads(static_cast<int>(state.range(0)));
    const cv::Mat src = mask_mat();
    cv::Mat labels, stats, centroids, out;
    for (auto _ : state) {
        const cv::Mat background = src == 0;
        const int n = cv::connectedComponentsWithStats(background, labels, stats, centroids, 4, CV_32S);
        int largest = 1;
        for (int k = 2; k < n; ++k)
            if (stats.at<int>(k, cv::CC_STAT_AREA) > stats.at<int>(largest, cv::CC_STAT_AREA)) largest = k;
        out = labels != largest;
        benchmark::DoNotOptimize(out.data);
    }
    report(state);
}

}  // namespace

#define MORPHOLOGY_ARGS ->ArgsProduct({{1, 3, 10, 0}, {1, 2}})->MinTime(0.3)->UseRealTime()->Unit(benchmark::kMillisecond)
BENCHMARK(BM_erode) MORPHOLOGY_ARGS;
BENCHMARK(BM_cv_erode) MORPHOLOGY_ARGS;
BENCHMARK(BM_open)->ArgsProduct({{3}, {1, 2}})->MinTime(0.3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_cv_open)->ArgsProduct({{3}, {1, 2}})->MinTime(0.3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_label8)->Arg(1)->Arg(2)->MinTime(0.3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_cv_label8)->Arg(1)->Arg(2)->MinTime(0.3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_remove_hole)->Arg(1)->Arg(2)->MinTime(0.3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_cv_remove_hole)->Arg(1)->Arg(2)->MinTime(0.3)->UseRealTime()->Unit(benchmark::kMillisecond);
