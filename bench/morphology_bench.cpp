// Morphology and labelling on a 1920 x 1080 mask at 1 and 2 threads, each
// beside the OpenCV call that does the same job on the same data.
//
// Morphology, arguments (element, threads); element r > 0 is a disc of
// radius r, 0 the 5 x 5 square table:
//   BM_<op> / BM_cv_<op>              on the same 16-bit plane, plane to plane
//   BM_<op>_frame / BM_cv_<op>_frame  the script function's whole job: Y out
//                                     of a frame of pixels, the operation,
//                                     Y back into another frame (OpenCV:
//                                     extractChannel, morphologyEx,
//                                     mixChannels)
// Labelling, argument (threads): label8, label4 and remove_hole on a frame
// beside connectedComponentsWithStats on the 8-bit mask.
// The last argument is the thread count: our toolkit workers and row loops,
// cv::setNumThreads for OpenCV.  CPU time is that of the measuring thread,
// steady on a shared machine for one thread; compare two threads by wall
// time.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <random>
#include <vector>

#include "bench_frame.h"
#include "buffers/rows.h"
#include "mask/label.h"
#include "mask/morphology.h"
#include "platform/thread_pool.h"
#include "toolkit/grey_morphology.h"

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
            m[static_cast<std::size_t>(y) * kW + x] = {static_cast<short>(on != flip ? 4096 : 0), 0,
                                                       0};
        }
    return m;
}

std::vector<PIXEL_YC>& mask() {
    static std::vector<PIXEL_YC> m = make_mask();
    return m;
}

cv::Mat mask_plane() {
    cv::Mat m(kH, kW, CV_16S);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            m.at<short>(y, x) = mask()[static_cast<std::size_t>(y) * kW + x].y;
    return m;
}

// The frame as OpenCV sees it: three 16-bit channels a pixel.
cv::Mat mask_pixels() { return cv::Mat(kH, kW, CV_16SC3, mask().data()).clone(); }

cv::Mat disc_kernel(int r) {
    cv::Mat k = cv::Mat::zeros(2 * r + 1, 2 * r + 1, CV_8U);
    for (int i = -r; i <= r; ++i)
        for (int j = -r; j <= r; ++j)
            if (i * i + j * j <= r * r) k.at<std::uint8_t>(i + r, j + r) = 1;
    return k;
}

cv::Mat kernel_for(int element) {
    return element == 0 ? cv::Mat(5, 5, CV_8U, cv::Scalar(1)) : disc_kernel(element);
}

const double kSquare5[25] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                             1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

MorphologyElement element_for(int element) {
    MorphologyElement e;
    if (element == 0) {
        e.is_table = true;
        e.cells = kSquare5;
        e.rows = e.cols = 5;
    } else {
        e.radius = element;
    }
    return e;
}

void report(benchmark::State& state) {
    state.counters["MP/s"] =
        benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

void set_threads(int n) {
    pool::set_worker_count(n);
    cv::setNumThreads(n);
}

// --- morphology on the 16-bit plane --------------------------------------

void run_plane(benchmark::State& state, MorphologyOp op) {
    const int element = static_cast<int>(state.range(0));
    const auto threads = static_cast<std::uint32_t>(state.range(1));
    set_threads(static_cast<int>(threads));
    const cv::Mat plane = mask_plane();
    toolkit::grid<short> in(kW, kH), out(kW, kH);
    std::copy(plane.ptr<short>(), plane.ptr<short>() + in.size(), in.begin());
    const toolkit::morphology_runs runs = make_morphology_runs(element_for(element));
    for (auto _ : state) {
        switch (op) {
            case MorphologyOp::erode:
                toolkit::erosion(in, out, runs, threads);
                break;
            case MorphologyOp::dilate:
                toolkit::dilation(in, out, runs, threads);
                break;
            case MorphologyOp::open:
                toolkit::opening(in, out, runs, threads);
                break;
            case MorphologyOp::close:
                toolkit::closing(in, out, runs, threads);
                break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    report(state);
}

void run_cv_plane(benchmark::State& state, cv::MorphTypes op) {
    set_threads(static_cast<int>(state.range(1)));
    const cv::Mat src = mask_plane(), k = kernel_for(static_cast<int>(state.range(0)));
    cv::Mat dst;
    for (auto _ : state) {
        cv::morphologyEx(src, dst, op, k);
        benchmark::DoNotOptimize(dst.data);
    }
    report(state);
}

// --- the script function's whole job on frames -----------------------------

void run_frame(benchmark::State& state, MorphologyOp op) {
    const auto threads = static_cast<std::uint32_t>(state.range(1));
    set_threads(static_cast<int>(threads));
    std::vector<PIXEL_YC> out(mask().size());
    AreaJob job;
    job.source = {mask().data(), kW, kH};
    job.destination = {out.data(), kW, kH};
    job.w = job.picture_w = kW;
    job.h = job.picture_h = kH;
    const MorphologyElement element = element_for(static_cast<int>(state.range(0)));
    for (auto _ : state) morphology_region(job, element, op, threads);
    report(state);
}

void run_cv_frame(benchmark::State& state, cv::MorphTypes op) {
    set_threads(static_cast<int>(state.range(1)));
    const cv::Mat src = mask_pixels(), k = kernel_for(static_cast<int>(state.range(0)));
    cv::Mat dst = src.clone(), y, result;
    const int to_y[2] = {0, 0};
    for (auto _ : state) {
        cv::extractChannel(src, y, 0);
        cv::morphologyEx(y, result, op, k);
        cv::mixChannels(&result, 1, &dst, 1, to_y, 1);
        benchmark::DoNotOptimize(dst.data);
    }
    report(state);
}

void BM_erode(benchmark::State& s) { run_plane(s, MorphologyOp::erode); }
void BM_cv_erode(benchmark::State& s) { run_cv_plane(s, cv::MORPH_ERODE); }
void BM_dilate(benchmark::State& s) { run_plane(s, MorphologyOp::dilate); }
void BM_cv_dilate(benchmark::State& s) { run_cv_plane(s, cv::MORPH_DILATE); }
void BM_open(benchmark::State& s) { run_plane(s, MorphologyOp::open); }
void BM_cv_open(benchmark::State& s) { run_cv_plane(s, cv::MORPH_OPEN); }
void BM_close(benchmark::State& s) { run_plane(s, MorphologyOp::close); }
void BM_cv_close(benchmark::State& s) { run_cv_plane(s, cv::MORPH_CLOSE); }

void BM_erode_frame(benchmark::State& s) { run_frame(s, MorphologyOp::erode); }
void BM_cv_erode_frame(benchmark::State& s) { run_cv_frame(s, cv::MORPH_ERODE); }
void BM_dilate_frame(benchmark::State& s) { run_frame(s, MorphologyOp::dilate); }
void BM_cv_dilate_frame(benchmark::State& s) { run_cv_frame(s, cv::MORPH_DILATE); }
void BM_open_frame(benchmark::State& s) { run_frame(s, MorphologyOp::open); }
void BM_cv_open_frame(benchmark::State& s) { run_cv_frame(s, cv::MORPH_OPEN); }
void BM_close_frame(benchmark::State& s) { run_frame(s, MorphologyOp::close); }
void BM_cv_close_frame(benchmark::State& s) { run_cv_frame(s, cv::MORPH_CLOSE); }

// --- labelling ----------------------------------------------------------------

AreaJob whole_mask_job(std::vector<PIXEL_YC>& out) {
    AreaJob job;
    job.source = {mask().data(), kW, kH};
    job.destination = {out.data(), kW, kH};
    job.w = kW;
    job.h = kH;
    return job;
}

void run_label(benchmark::State& state, bool eight) {
    set_threads(static_cast<int>(state.range(0)));
    std::vector<PIXEL_YC> out(mask().size());
    const AreaJob job = whole_mask_job(out);
    std::vector<ComponentInfo> found(static_cast<std::size_t>(component_capacity(kW, kH)));
    std::int32_t count = 0;
    for (auto _ : state) count = label_region(job, eight, ComponentLimits{}, found.data());
    state.counters["components"] = count;
    report(state);
}

void run_cv_label(benchmark::State& state, int connectivity) {
    set_threads(static_cast<int>(state.range(0)));
    cv::Mat fg;
    mask_plane().convertTo(fg, CV_8U, 1.0 / 16);
    cv::Mat labels, stats, centroids;
    int n = 0;
    for (auto _ : state)
        n = cv::connectedComponentsWithStats(fg, labels, stats, centroids, connectivity, CV_16U);
    state.counters["components"] = n - 1;
    report(state);
}

void BM_label8(benchmark::State& s) { run_label(s, true); }
void BM_cv_label8(benchmark::State& s) { run_cv_label(s, 8); }
void BM_label4(benchmark::State& s) { run_label(s, false); }
void BM_cv_label4(benchmark::State& s) { run_cv_label(s, 4); }

void BM_remove_hole(benchmark::State& state) {
    set_threads(static_cast<int>(state.range(0)));
    std::vector<PIXEL_YC> out(mask().size());
    const AreaJob job = whole_mask_job(out);
    for (auto _ : state) remove_holes(job);
    report(state);
}

// The same job in OpenCV: label the background with 4-connectivity, keep
// the largest background component, everything else becomes 4096.
void BM_cv_remove_hole(benchmark::State& state) {
    set_threads(static_cast<int>(state.range(0)));
    const cv::Mat src = mask_plane();
    cv::Mat labels, stats, centroids, out;
    for (auto _ : state) {
        const cv::Mat background = src == 0;
        const int n =
            cv::connectedComponentsWithStats(background, labels, stats, centroids, 4, CV_32S);
        int largest = 1;
        for (int k = 2; k < n; ++k)
            if (stats.at<int>(k, cv::CC_STAT_AREA) > stats.at<int>(largest, cv::CC_STAT_AREA))
                largest = k;
        out = labels != largest;
        benchmark::DoNotOptimize(out.data);
    }
    report(state);
}

}  // namespace

#define MORPHOLOGY_ARGS \
    ->ArgsProduct({{1, 3, 10, 0}, {1, 2}})->MinTime(0.3)->Unit(benchmark::kMillisecond)
#define THREAD_ARGS ->Arg(1)->Arg(2)->MinTime(0.3)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_erode) MORPHOLOGY_ARGS;
BENCHMARK(BM_cv_erode) MORPHOLOGY_ARGS;
BENCHMARK(BM_dilate) MORPHOLOGY_ARGS;
BENCHMARK(BM_cv_dilate) MORPHOLOGY_ARGS;
BENCHMARK(BM_open) MORPHOLOGY_ARGS;
BENCHMARK(BM_cv_open) MORPHOLOGY_ARGS;
BENCHMARK(BM_close) MORPHOLOGY_ARGS;
BENCHMARK(BM_cv_close) MORPHOLOGY_ARGS;
BENCHMARK(BM_erode_frame) MORPHOLOGY_ARGS;
BENCHMARK(BM_cv_erode_frame) MORPHOLOGY_ARGS;
BENCHMARK(BM_dilate_frame) MORPHOLOGY_ARGS;
BENCHMARK(BM_cv_dilate_frame) MORPHOLOGY_ARGS;
BENCHMARK(BM_open_frame) MORPHOLOGY_ARGS;
BENCHMARK(BM_cv_open_frame) MORPHOLOGY_ARGS;
BENCHMARK(BM_close_frame) MORPHOLOGY_ARGS;
BENCHMARK(BM_cv_close_frame) MORPHOLOGY_ARGS;
BENCHMARK(BM_label8) THREAD_ARGS;
BENCHMARK(BM_cv_label8) THREAD_ARGS;
BENCHMARK(BM_label4) THREAD_ARGS;
BENCHMARK(BM_cv_label4) THREAD_ARGS;
BENCHMARK(BM_remove_hole) THREAD_ARGS;
BENCHMARK(BM_cv_remove_hole) THREAD_ARGS;
