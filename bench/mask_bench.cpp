// Masks and compositing on a 1920 x 1080 frame, at 1 and 2 threads
// (the argument of each entry), in megapixels per second.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_frame.h"
#include "buffers/rows.h"
#include "platform/thread_pool.h"
#include "draw/alpha.h"
#include "mask/difference_mask.h"
#include "mask/graded_mask.h"
#include "mask/key_mask.h"
#include "mask/mask_logic.h"
#include "mask/mask_query.h"
#include "mask/near_merge.h"

namespace {

constexpr int kW = BenchFrame::kWidth, kH = BenchFrame::kHeight;

struct Frames {
    BenchFrame a{1}, b{2}, out{3};
};

Frames& frames() {
    static Frames f;
    return f;
}

void finish(benchmark::State& state) {
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(kW) * kH / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

const PairArea kPair{0, 0, 0, 0, kW, kH};
const TripleArea kTriple{0, 0, 0, 0, 0, 0, kW, kH};

void BM_mkmask_hsv(benchmark::State& state) {
    pool::set_worker_count(static_cast<int>(state.range(0)));
    Frames& f = frames();
    KeyBox box;
    box.lower[0] = 900, box.lower[1] = 1000, box.lower[2] = 500;
    box.upper[0] = 1500, box.upper[1] = 4096, box.upper[2] = 4096;
    box.margin = 100;
    for (auto _ : state) key_mask_hsv(f.a.frame(), f.out.frame(), kPair, box);
    finish(state);
}

void BM_graded(benchmark::State& state, MaskSpace space, bool line) {
    pool::set_worker_count(static_cast<int>(state.range(0)));
    Frames& f = frames();
    GradedMask m;
    m.space = space;
    m.line = line;
    m.key_a[0] = 2048, m.key_a[1] = -500, m.key_a[2] = -300;
    m.key_b[0] = 3500, m.key_b[1] = 500, m.key_b[2] = 300;
    m.inner = 10, m.outer = 40;
    if (space == MaskSpace::Rgb) m.inner = 300, m.outer = 900;
    for (auto _ : state) graded_mask(f.a.frame(), f.out.frame(), kPair, m);
    finish(state);
}

void BM_mkmask_p_lab(benchmark::State& state) { BM_graded(state, MaskSpace::Lab, false); }
void BM_mkmask_l_rgb(benchmark::State& state) { BM_graded(state, MaskSpace::Rgb, true); }

void BM_mkmask_diff(benchmark::State& state) {
    pool::set_worker_count(static_cast<int>(state.range(0)));
    Frames& f = frames();
    DifferenceMask m;
    m.gain = 2;
    for (auto _ : state) difference_mask(f.a.frame(), f.b.frame(), f.out.frame(), kTriple, m);
    finish(state);
}

void BM_mask_and(benchmark::State& state) {
    pool::set_worker_count(static_cast<int>(state.range(0)));
    Frames& f = frames();
    for (auto _ : state) mask_logic(MaskOp::And, f.a.frame(), f.b.frame(), f.out.frame(), kTriple);
    finish(state);
}

// Sequential by design (it runs in the calling thread); the thread count
// only shows that.
void BM_mask_center(benchmark::State& state) {
    pool::set_worker_count(static_cast<int>(state.range(0)));
    Frames& f = frames();
    double cx = 0, cy = 0;
    for (auto _ : state) {
        mask_center(f.a.frame(), {0, 0, kW, kH}, 1000, &cx, &cy);
        benchmark::DoNotOptimize(cx);
    }
    finish(state);
}

void BM_merge_near(benchmark::State& state) {
    pool::set_worker_count(static_cast<int>(state.range(0)));
    Frames& f = frames();
    NearMerge m;
    m.key[0] = 2048;
    m.exponent = state.range(1);
    for (auto _ : state) merge_near(f.a.frame(), f.b.frame(), f.out.frame(), kTriple, m);
    finish(state);
}

void BM_alpha_mask(benchmark::State& state) {
    pool::set_worker_count(static_cast<int>(state.range(0)));
    Frames& f = frames();
    const MaskedArea area{0, 0, 0, 0, 0, 0, kW, kH};
    for (auto _ : state) alpha_masked(f.a.frame(), f.out.frame(), f.b.frame(), area);
    finish(state);
}

void BM_alpha_rgb(benchmark::State& state) {
    pool::set_worker_count(static_cast<int>(state.range(0)));
    Frames& f = frames();
    for (auto _ : state) alpha_rgb(f.a.frame(), f.out.frame(), kPair, 1000, 2000, 3000);
    finish(state);
}

}  // namespace

BENCHMARK(BM_mkmask_hsv)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_mkmask_p_lab)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_mkmask_l_rgb)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_mkmask_diff)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_mask_and)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_mask_center)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_merge_near)->Args({1, 0})->Args({2, 0})->Args({1, 1})->Args({2, 1})
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_alpha_mask)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_alpha_rgb)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
