// Drawing a 30-character outlined title at height 48 into a 1920 x 1080
// frame, at 1 and 2 threads, beside one full-frame pass (a copy of the
// frame) as the yardstick.  "first" times a draw after the kept faces and
// glyph images were dropped, as on a script's first frame.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "bench_frame.h"
#include "draw/text.h"
#include "platform/glyph_raster.h"
#include "platform/thread_pool.h"

namespace {

const char* const kTitle = "Quorvel title: ５月の夕焼け 2024年版!!";  // 30 characters

FontState title_font() {
    FontState f;
    const std::string face = "ＭＳ ゴシック";
    FontArgs args;
    args.face = face.c_str();
    args.face_length = face.size();
    args.height = 48;
    args.bold = 1;
    args.has_edge = true;
    args.edge_width = 4;
    const int text[3] = {4096, 0, 0}, edge[3] = {0, 1200, -900};
    std::copy(text, text + 3, args.text_color);
    std::copy(edge, edge + 3, args.edge_color);
    set_font(f, args);
    return f;
}

void BM_text_title(benchmark::State& state) {
    pool::set_worker_count(static_cast<int>(state.range(0)));
    BenchFrame frame;
    FontState font = title_font();
    draw_text(frame.frame(), font, 960, 500, 1, kTitle);  // faces and glyphs are kept from here on
    for (auto _ : state) {
        draw_text(frame.frame(), font, 960, 500, 1, kTitle);
        benchmark::DoNotOptimize(frame.pixels.data());
    }
}
BENCHMARK(BM_text_title)
    ->Arg(1)
    ->Arg(2)
    ->MinTime(0.3)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

void BM_text_title_first(benchmark::State& state) {
    pool::set_worker_count(static_cast<int>(state.range(0)));
    BenchFrame frame;
    FontState font = title_font();
    for (auto _ : state) {
        state.PauseTiming();
        platform::release_glyph_cache();
        state.ResumeTiming();
        draw_text(frame.frame(), font, 960, 500, 1, kTitle);
        benchmark::DoNotOptimize(frame.pixels.data());
    }
}
BENCHMARK(BM_text_title_first)->Arg(1)->MinTime(0.3)->UseRealTime()->Unit(benchmark::kMicrosecond);

// One full-frame pass for comparison: copying the whole frame.
void BM_frame_copy(benchmark::State& state) {
    BenchFrame a, b;
    const std::size_t bytes = a.pixels.size() * sizeof(PIXEL_YC);
    for (auto _ : state) {
        std::memcpy(b.pixels.data(), a.pixels.data(), bytes);
        benchmark::DoNotOptimize(b.pixels.data());
    }
}
BENCHMARK(BM_frame_copy)->MinTime(0.3)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
