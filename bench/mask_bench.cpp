// Masks on a 1920 x 1080 frame at 1 and 2 workers (the last argument),
// beside their references (see bench_frame.h).
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <vector>

#include "bench_frame.h"
#include "buffers/rows.h"
#include "color/convert.h"
#include "mask/difference_mask.h"
#include "mask/graded_mask.h"
#include "mask/key_mask.h"
#include "mask/mask_logic.h"
#include "mask/mask_query.h"
#include "mask/near_merge.h"
#include "platform/thread_pool.h"

namespace {

constexpr int kW = BenchFrame::kWidth, kH = BenchFrame::kHeight;

// Two images and an output; `grades` holds masks (grades 0..4096 in y).
struct Frames {
    BenchFrame a{1}, b{2}, out{3}, grades_a{4}, grades_b{5};
    Frames() {
        for (auto* f : {&grades_a, &grades_b})
            for (PIXEL_YC& p : f->pixels)
                p = {static_cast<short>(p.y < 0 ? 0 : p.y > 4096 ? 4096 : p.y), 0, 0};
    }
};

Frames& frames() {
    static Frames f;
    return f;
}

cv::Mat view(BenchFrame& f) { return cv::Mat(kH, kW, CV_16SC3, f.pixels.data()); }

const PairArea kPair{0, 0, 0, 0, kW, kH};
const TripleArea kTriple{0, 0, 0, 0, 0, 0, kW, kH};

// The thread count is the last argument: the first, or the second where
// there are two.
void set_threads(benchmark::State& state, int index = 0) {
    pool::set_worker_count(static_cast<int>(state.range(index)));
}

#define BENCH_ARGS ->Arg(1)->Arg(2)->MinTime(0.2)->Unit(benchmark::kMillisecond)
#define CV_ARGS ->Arg(1)->MinTime(0.2)->Unit(benchmark::kMillisecond)

KeyBox key_box() {
    KeyBox box;
    box.lower[0] = 900, box.lower[1] = 1000, box.lower[2] = 500;
    box.upper[0] = 1500, box.upper[1] = 4096, box.upper[2] = 4096;
    box.margin = 100;
    return box;
}

template <void (*Kernel)(const Frame&, const Frame&, const PairArea&, const KeyBox&)>
void run_key(benchmark::State& state, KeyBox box) {
    set_threads(state);
    Frames& f = frames();
    for (auto _ : state) Kernel(f.a.frame(), f.out.frame(), kPair, box);
    report_megapixels(state);
}

// mkmask: a box in Y, Cb, Cr; OpenCV's range test gives a byte mask.
void BM_mkmask(benchmark::State& s) {
    KeyBox box;
    box.lower[0] = 1000, box.lower[1] = -1000, box.lower[2] = -500;
    box.upper[0] = 3000, box.upper[1] = 200, box.upper[2] = 500;
    run_key<key_mask_yc>(s, box);
}
void BM_cv_mkmask(benchmark::State& state) {
    cv::setNumThreads(1);
    cv::Mat src = view(frames().a), out;
    for (auto _ : state)
        cv::inRange(src, cv::Scalar(1000, -1000, -500), cv::Scalar(3000, 200, 500), out);
    report_megapixels(state);
}
BENCHMARK(BM_mkmask) BENCH_ARGS;
BENCHMARK(BM_cv_mkmask) CV_ARGS;

void BM_mkmask_rgb(benchmark::State& s) { run_key<key_mask_rgb>(s, key_box()); }
BENCHMARK(BM_mkmask_rgb) BENCH_ARGS;
MEMCPY_REFERENCE(mkmask_rgb, 2);

// mkmask_hsv: HSV from YCbCr, then a box.  OpenCV gets the RGB frame (in
// float, converted beforehand) and does the HSV conversion and the range
// test.
void BM_mkmask_hsv(benchmark::State& s) { run_key<key_mask_hsv>(s, key_box()); }
// The RGB of frame a in float, 0..1 (the input OpenCV's float conversions
// take), made outside the timing.
cv::Mat float_rgb() {
    cv::Mat rgb(kH, kW, CV_32FC3);
    const std::vector<PIXEL_YC>& px = frames().a.pixels;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const PIXEL_YC& p = px[static_cast<std::size_t>(y) * kW + x];
            const Triple c = yc_to_rgb(p.y, p.cb, p.cr);
            rgb.at<cv::Vec3f>(y, x) =
                cv::Vec3f(float(c.a / 4096), float(c.b / 4096), float(c.c / 4096));
        }
    return rgb;
}

void BM_cv_mkmask_hsv(benchmark::State& state) {
    cv::setNumThreads(1);
    const cv::Mat rgb = float_rgb();
    cv::Mat hsv, out;
    for (auto _ : state) {
        cv::cvtColor(rgb, hsv, cv::COLOR_RGB2HSV);
        cv::inRange(hsv, cv::Scalar(90, 0.25, 0.125), cv::Scalar(150, 1, 1), out);
    }
    report_megapixels(state);
}
BENCHMARK(BM_mkmask_hsv) BENCH_ARGS;
BENCHMARK(BM_cv_mkmask_hsv) CV_ARGS;

void BM_mkmask_hsv_int(benchmark::State& s) { run_key<key_mask_hsv_int>(s, key_box()); }
BENCHMARK(BM_mkmask_hsv_int) BENCH_ARGS;
MEMCPY_REFERENCE(mkmask_hsv_int, 2);

void run_graded(benchmark::State& state, MaskSpace space, bool line) {
    set_threads(state);
    Frames& f = frames();
    GradedMask m;
    m.space = space;
    m.line = line;
    m.key_a[0] = 2048, m.key_a[1] = -500, m.key_a[2] = -300;
    m.key_b[0] = 3500, m.key_b[1] = 500, m.key_b[2] = 300;
    m.inner = 10, m.outer = 40;
    if (space == MaskSpace::Rgb) m.inner = 300, m.outer = 900;
    for (auto _ : state) graded_mask(f.a.frame(), f.out.frame(), kPair, m);
    report_megapixels(state);
}

void BM_mkmask_p_lab(benchmark::State& s) { run_graded(s, MaskSpace::Lab, false); }
void BM_mkmask_l_rgb(benchmark::State& s) { run_graded(s, MaskSpace::Rgb, true); }
BENCHMARK(BM_mkmask_p_lab) BENCH_ARGS;
void BM_mkmask_l_lab(benchmark::State& s) { run_graded(s, MaskSpace::Lab, true); }
BENCHMARK(BM_mkmask_l_lab) BENCH_ARGS;

// The reference of the L*a*b* masks: OpenCV's float RGB -> Lab alone (they
// convert each pixel once and measure a distance).
void BM_cv_rgb_to_lab(benchmark::State& state) {
    cv::setNumThreads(1);
    const cv::Mat rgb = float_rgb();
    cv::Mat lab;
    for (auto _ : state) {
        cv::cvtColor(rgb, lab, cv::COLOR_RGB2Lab);
        benchmark::DoNotOptimize(lab.data);
    }
    report_megapixels(state);
}
BENCHMARK(BM_cv_rgb_to_lab) CV_ARGS;
BENCHMARK(BM_mkmask_l_rgb) BENCH_ARGS;
MEMCPY_REFERENCE(mkmask_l_rgb, 2);

void BM_mkmask_diff(benchmark::State& state) {
    set_threads(state);
    Frames& f = frames();
    DifferenceMask m;
    m.gain = 2;
    for (auto _ : state) difference_mask(f.a.frame(), f.b.frame(), f.out.frame(), kTriple, m);
    report_megapixels(state);
}
BENCHMARK(BM_mkmask_diff) BENCH_ARGS;
MEMCPY_REFERENCE(mkmask_diff, 3);

template <MaskOp Op>
void run_logic(benchmark::State& state) {
    set_threads(state);
    Frames& f = frames();
    for (auto _ : state)
        mask_logic(Op, f.grades_a.frame(), f.grades_b.frame(), f.out.frame(), kTriple);
    report_megapixels(state);
}

// mask_and: the product of two grades; OpenCV's scaled product on the same
// frames.
void BM_mask_and(benchmark::State& s) { run_logic<MaskOp::And>(s); }
void BM_cv_mask_and(benchmark::State& state) {
    cv::setNumThreads(1);
    cv::Mat a = view(frames().grades_a), b = view(frames().grades_b), out = view(frames().out);
    for (auto _ : state) cv::multiply(a, b, out, 1.0 / 4096);
    report_megapixels(state);
}
BENCHMARK(BM_mask_and) BENCH_ARGS;
BENCHMARK(BM_cv_mask_and) CV_ARGS;

void BM_mask_or(benchmark::State& s) { run_logic<MaskOp::Or>(s); }
void BM_mask_sub(benchmark::State& s) { run_logic<MaskOp::Sub>(s); }
void BM_mask_xor(benchmark::State& s) { run_logic<MaskOp::Xor>(s); }
BENCHMARK(BM_mask_or) BENCH_ARGS;
MEMCPY_REFERENCE(mask_or, 3);
BENCHMARK(BM_mask_sub) BENCH_ARGS;
MEMCPY_REFERENCE(mask_sub, 3);
BENCHMARK(BM_mask_xor) BENCH_ARGS;
MEMCPY_REFERENCE(mask_xor, 3);

void BM_mask_not(benchmark::State& state) {
    set_threads(state);
    Frames& f = frames();
    for (auto _ : state) mask_not(f.grades_a.frame(), f.out.frame(), kPair);
    report_megapixels(state);
}
void BM_cv_mask_not(benchmark::State& state) {
    cv::setNumThreads(1);
    cv::Mat a = view(frames().grades_a), out = view(frames().out);
    for (auto _ : state) cv::subtract(cv::Scalar::all(4096), a, out);
    report_megapixels(state);
}
BENCHMARK(BM_mask_not) BENCH_ARGS;
BENCHMARK(BM_cv_mask_not) CV_ARGS;

// Sequential by design (it runs in the calling thread); the thread count
// only shows that.
void BM_mask_center(benchmark::State& state) {
    set_threads(state);
    Frames& f = frames();
    double cx = 0, cy = 0;
    for (auto _ : state) {
        mask_center(f.grades_a.frame(), {0, 0, kW, kH}, 1000, &cx, &cy);
        benchmark::DoNotOptimize(cx);
    }
    report_megapixels(state);
}
BENCHMARK(BM_mask_center) BENCH_ARGS;
MEMCPY_REFERENCE(mask_center, 1);

// First argument: the exponent.
void BM_merge_near(benchmark::State& state) {
    set_threads(state, 1);
    Frames& f = frames();
    NearMerge m;
    m.key[0] = 2048;
    m.exponent = static_cast<double>(state.range(0));
    for (auto _ : state) merge_near(f.a.frame(), f.b.frame(), f.out.frame(), kTriple, m);
    report_megapixels(state);
}
BENCHMARK(BM_merge_near)
    ->ArgsProduct({{0, 1}, {1, 2}})
    ->MinTime(0.2)
    ->Unit(benchmark::kMillisecond);
// merge_near_lab and mkmask_near_lab, exponent 1: each pixel of both
// images to L*a*b*.
void run_near_lab(benchmark::State& state, bool merge) {
    set_threads(state);
    Frames& f = frames();
    NearMerge m;
    m.lab = true;
    m.key[0] = 2048, m.key[1] = 300, m.key[2] = -200;
    m.exponent = 1;
    for (auto _ : state)
        (merge ? merge_near : mask_near)(f.a.frame(), f.b.frame(), f.out.frame(), kTriple, m);
    report_megapixels(state);
}
void BM_merge_near_lab(benchmark::State& s) { run_near_lab(s, true); }
void BM_mkmask_near_lab(benchmark::State& s) { run_near_lab(s, false); }
BENCHMARK(BM_merge_near_lab) BENCH_ARGS;
BENCHMARK(BM_mkmask_near_lab) BENCH_ARGS;

void BM_memcpy_merge_near(benchmark::State& state) { run_memcpy(state, 3); }
BENCHMARK(BM_memcpy_merge_near)
    ->ArgsProduct({{0, 1}, {1}})
    ->MinTime(0.2)
    ->Unit(benchmark::kMillisecond);

}  // namespace
