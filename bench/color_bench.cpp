// Region colour, tone and callback functions on the 1920 x 1080 bench frame
// at 1 and 2 workers (the last argument), beside their references (see
// bench_frame.h).  Each iteration starts from the original frame; the
// restoring copy is not timed.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <vector>

#include "bench_frame.h"
#include "buffers/rows.h"
#include "buffers/store.h"
#include "color/convert.h"
#include "color/region_color.h"
#include "color/tone.h"
#include "platform/thread_pool.h"
#include "script/engine.h"
#include "script/filter_info.h"
#include "script/library.h"
#include "script/lua.h"

namespace {

template <class Kernel>
void run_kernel(benchmark::State& state, Kernel kernel) {
    pool::set_worker_count(static_cast<int>(state.range(0)));
    BenchFrame original;
    BenchFrame work;
    const Region all{0, 0, BenchFrame::kWidth, BenchFrame::kHeight};
    for (auto _ : state) {
        state.PauseTiming();
        work.pixels = original.pixels;
        state.ResumeTiming();
        kernel(work.frame(), all);
        benchmark::DoNotOptimize(work.pixels.data());
    }
    report_megapixels(state);
}

// An OpenCV reference working in place on a CV_16SC3 view of the frame.
template <class Call>
void run_cv(benchmark::State& state, Call call) {
    cv::setNumThreads(static_cast<int>(state.range(0)));
    BenchFrame original;
    BenchFrame work;
    cv::Mat m(BenchFrame::kHeight, BenchFrame::kWidth, CV_16SC3, work.pixels.data());
    for (auto _ : state) {
        state.PauseTiming();
        work.pixels = original.pixels;
        state.ResumeTiming();
        call(m);
        benchmark::DoNotOptimize(work.pixels.data());
    }
    report_megapixels(state);
}

#define BENCH_ARGS ->Arg(1)->Arg(2)->MinTime(0.2)->Unit(benchmark::kMillisecond)

#define COLOR_BENCH(name, ...)                                                   \
    void BM_##name(benchmark::State& state) {                                    \
        run_kernel(state, [](const Frame& f, const Region& r) { __VA_ARGS__; }); \
    }                                                                            \
    BENCHMARK(BM_##name) BENCH_ARGS

#define CV_BENCH(name, ...)                             \
    void BM_cv_##name(benchmark::State& state) {        \
        run_cv(state, [](cv::Mat& m) { __VA_ARGS__; }); \
    }                                                   \
    BENCHMARK(BM_cv_##name)->Arg(1)->MinTime(0.2)->Unit(benchmark::kMillisecond)

constexpr ColorAdjust kAdjust{{1.1, 0.9, 1.2}, {10, -5, 3}};

// color: a gain and an offset per component, saturated; OpenCV's scaled
// conversion does the same with one gain for all three.
COLOR_BENCH(color, color_yc(f, r, kAdjust));
CV_BENCH(color, m.convertTo(m, CV_16SC3, 1.1, 10));

// color_rgb: to RGB, gains and offsets, back to YCbCr, all one affine
// colour transform: OpenCV's per-pixel 3 x 4 matrix.
COLOR_BENCH(color_rgb, color_rgb(f, r, kAdjust));
CV_BENCH(color_rgb, {
    static const cv::Matx34f t(1.02f, 0.1f, 0.2f, 10, 0.05f, 0.9f, 0.1f, -5, 0.1f, 0.05f, 1.1f, 3);
    cv::transform(m, m, t);
});

// The HSV members (and posterize_hsv) go to HSV and back; OpenCV's float
// conversions RGB -> HSV -> RGB on the frame's RGB (made beforehand, 0..1)
// are their reference, and RGB -> Lab -> RGB that of color_lab
// (report.sh pairs them by name).
void run_cv_round_trip(benchmark::State& state, cv::ColorConversionCodes there,
                       cv::ColorConversionCodes back) {
    cv::setNumThreads(static_cast<int>(state.range(0)));
    BenchFrame original;
    cv::Mat rgb(BenchFrame::kHeight, BenchFrame::kWidth, CV_32FC3), middle, out;
    for (int y = 0; y < BenchFrame::kHeight; ++y)
        for (int x = 0; x < BenchFrame::kWidth; ++x) {
            const PIXEL_YC& p = original.pixels[static_cast<std::size_t>(y) * BenchFrame::kWidth + x];
            const Triple c = yc_to_rgb(p.y, p.cb, p.cr);
            const auto unit = [](double v) { return float(v < 0 ? 0 : v > 4096 ? 1 : v / 4096); };
            rgb.at<cv::Vec3f>(y, x) = cv::Vec3f(unit(c.a), unit(c.b), unit(c.c));
        }
    for (auto _ : state) {
        cv::cvtColor(rgb, middle, there);
        cv::cvtColor(middle, out, back);
        benchmark::DoNotOptimize(out.data);
    }
    report_megapixels(state);
}
void BM_cv_hsv_round_trip(benchmark::State& state) {
    run_cv_round_trip(state, cv::COLOR_RGB2HSV, cv::COLOR_HSV2RGB);
}
void BM_cv_lab_round_trip(benchmark::State& state) {
    run_cv_round_trip(state, cv::COLOR_RGB2Lab, cv::COLOR_Lab2RGB);
}
BENCHMARK(BM_cv_hsv_round_trip)->Arg(1)->MinTime(0.2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_cv_lab_round_trip)->Arg(1)->MinTime(0.2)->Unit(benchmark::kMillisecond);

COLOR_BENCH(color_hsv, color_hsv(f, r, kAdjust));
COLOR_BENCH(color_hsv_i, color_hsv_int(f, r, kAdjust));
COLOR_BENCH(color_hsv_m, color_hsv_unit(f, r, kAdjust));
COLOR_BENCH(color_xyz, color_xyz(f, r, kAdjust));
MEMCPY_REFERENCE(color_xyz, 2);
COLOR_BENCH(color_lab, color_lab(f, r, kAdjust));

const double kGain[3] = {2, 1.5, 0.8};
const double kCentre[3] = {0.5, 0, 0};
const int kLevels[3] = {5, 4, 4};

COLOR_BENCH(gamma, gamma_curve(f, r, kGain));
MEMCPY_REFERENCE(gamma, 2);
COLOR_BENCH(sigmoid, sigmoid_curve(f, r, kGain, kCentre));
MEMCPY_REFERENCE(sigmoid, 2);
COLOR_BENCH(posterize, posterize_yc(f, r, kLevels));
MEMCPY_REFERENCE(posterize, 2);
COLOR_BENCH(posterize_rgb, posterize_rgb(f, r, kLevels));
MEMCPY_REFERENCE(posterize_rgb, 2);
COLOR_BENCH(posterize_hsv, posterize_hsv(f, r, kLevels));
COLOR_BENCH(normalize, normalize_gamut(f, r));
MEMCPY_REFERENCE(normalize, 2);

// binarize: a threshold to 4096 / 0 (OpenCV thresholds all three
// components; ours sets Cb and Cr to 0: the same traffic).
COLOR_BENCH(binarize, binarize_luma(f, r, 2048));
CV_BENCH(binarize, cv::threshold(m, m, 2047, 4096, cv::THRESH_BINARY));

// The callbacks call a Lua function per pixel, sequentially whatever the
// worker count; they run through a real state on a 1080p host frame.
void run_script(benchmark::State& state, const char* code) {
    pool::set_worker_count(static_cast<int>(state.range(0)));
    BenchFrame edit, temp;
    int tracks[12] = {0, static_cast<int>(state.range(0))};
    int checks[1] = {0};
    FILTER fp{};
    fp.track = tracks;
    fp.check = checks;
    FILTER_PROC_INFO fpip{};
    fpip.ycp_edit = edit.pixels.data();
    fpip.ycp_temp = temp.pixels.data();
    fpip.w = fpip.max_w = BenchFrame::kWidth;
    fpip.h = fpip.max_h = BenchFrame::kHeight;
    free_slots();
    setup_slots(&fpip);
    fill_filter_info(&fp, engine_filter_info());
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    register_library(L);
    publish_records(L, &fp, &fpip);
    if (luaL_loadstring(L, code) != 0) state.SkipWithError(lua_tostring(L, -1));
    const int chunk = lua_gettop(L);
    for (auto _ : state) {
        lua_pushvalue(L, chunk);
        if (lua_pcall(L, 0, 0, 0) != 0) {
            state.SkipWithError(lua_tostring(L, -1));
            break;
        }
    }
    lua_close(L);
    free_slots();
    report_megapixels(state);
}

void BM_apply_func(benchmark::State& state) {
    run_script(state,
               "apply_func(0, 0, 0, 1920, 1080, function(x, y, Y, Cb, Cr) return Cr, Y, Cb end)");
}
void BM_functoy(benchmark::State& state) {
    run_script(
        state,
        "functoy(0, 0, 0, 1920, 1080, function(X, Y) return X * X + Y * Y end, 960, 540, 100)");
}
void BM_functoy_p(benchmark::State& state) {
    run_script(state, "functoy_p(0, 0, 0, 1920, 1080, function(r, a) return r * a end, 960, 540)");
}
BENCHMARK(BM_apply_func)->Arg(1)->Arg(2)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_functoy)->Arg(1)->Arg(2)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_functoy_p)->Arg(1)->Arg(2)->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace
