// Throughput of the region colour, tone and callback functions on the
// 1920 x 1080 bench frame, at 1 and 2 workers (the argument).  Each
// iteration starts from the original frame; the restoring copy is not timed.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_frame.h"
#include "buffers/rows.h"
#include "platform/thread_pool.h"
#include "buffers/store.h"
#include "color/region_color.h"
#include "color/tone.h"
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
    const double pixels = double(BenchFrame::kWidth) * BenchFrame::kHeight;
    state.counters["MP/s"] =
        benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

#define COLOR_BENCH(name, ...)                                                        \
    void BM_##name(benchmark::State& state) {                                         \
        run_kernel(state, [](const Frame& f, const Region& r) { __VA_ARGS__; });      \
    }                                                                                 \
    BENCHMARK(BM_##name)->Arg(1)->Arg(2)->MinTime(0.2)->UseRealTime()->Unit(benchmark::kMillisecond)

constexpr ColorAdjust kAdjust{{1.1, 0.9, 1.2}, {10, -5, 3}};

COLOR_BENCH(color, color_yc(f, r, kAdjust));
COLOR_BENCH(color_rgb, color_rgb(f, r, kAdjust));
COLOR_BENCH(color_hsv, color_hsv(f, r, kAdjust));
COLOR_BENCH(color_hsv_i, color_hsv_int(f, r, kAdjust));
COLOR_BENCH(color_hsv_m, color_hsv_unit(f, r, kAdjust));
COLOR_BENCH(color_xyz, color_xyz(f, r, kAdjust));
COLOR_BENCH(color_lab, color_lab(f, r, kAdjust));

const double kGain[3] = {2, 1.5, 0.8};
const double kCentre[3] = {0.5, 0, 0};
const int kLevels[3] = {5, 4, 4};

COLOR_BENCH(gamma, gamma_curve(f, r, kGain));
COLOR_BENCH(sigmoid, sigmoid_curve(f, r, kGain, kCentre));
COLOR_BENCH(posterize, posterize_yc(f, r, kLevels));
COLOR_BENCH(posterize_rgb, posterize_rgb(f, r, kLevels));
COLOR_BENCH(posterize_hsv, posterize_hsv(f, r, kLevels));
COLOR_BENCH(normalize, normalize_gamut(f, r));
COLOR_BENCH(binarize, binarize_luma(f, r, 2048));

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
    const double pixels = double(BenchFrame::kWidth) * BenchFrame::kHeight;
    state.counters["MP/s"] =
        benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_apply_func(benchmark::State& state) {
    run_script(state, "apply_func(0, 0, 0, 1920, 1080, function(x, y, Y, Cb, Cr) return Cr, Y, Cb end)");
}
void BM_functoy(benchmark::State& state) {
    run_script(state, "functoy(0, 0, 0, 1920, 1080, function(X, Y) return X * X + Y * Y end, 960, 540, 100)");
}
void BM_functoy_p(benchmark::State& state) {
    run_script(state, "functoy_p(0, 0, 0, 1920, 1080, function(r, a) return r * a end, 960, 540)");
}
BENCHMARK(BM_apply_func)->Arg(1)->Arg(2)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_functoy)->Arg(1)->Arg(2)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_functoy_p)->Arg(1)->Arg(2)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
