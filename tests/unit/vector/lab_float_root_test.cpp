// lab_f in float lanes (lab_float_simd-inl.h) against the double lab_f of
// convert.h, on every instruction set this machine runs: for floats u
// across both branches, and u moved by du either way, the float f lies
// within its own bound ef of the double's, wherever the lane is not held
// back at the knee.  Every float next to the knee and every 127th float
// elsewhere here; the disabled case takes every float from 1e-3 to 64 (run
// by hand with --gtest_also_run_disabled_tests).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "../vector/lab_float_root_test.cpp"  // from unit/support
#include <hwy/foreach_target.h>                                 // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "color/lab_float_simd-inl.h"

HWY_BEFORE_NAMESPACE();
namespace lab_root_test {
namespace HWY_NAMESPACE {

using namespace pixel_simd::HWY_NAMESPACE;

// f, ef and the knee flag (1) of lab_f_float for n floats u with error du
// (n a multiple of the lane count).
static void root_lanes(const float* u, const float* du, float* f, float* ef, std::int32_t* knee,
                       int n) {
    const LabFloatTag df;
    const hn::Rebind<std::int32_t, LabFloatTag> di;
    for (int i = 0; i < n; i += static_cast<int>(hn::Lanes(df))) {
        auto risky = hn::FirstN(df, 0);
        LabFloatVec bound;
        const auto r = lab_f_float(hn::LoadU(df, u + i), hn::LoadU(df, du + i), bound, risky);
        hn::StoreU(r, df, f + i);
        hn::StoreU(bound, df, ef + i);
        hn::StoreU(hn::IfThenElseZero(hn::RebindMask(di, risky), hn::Set(di, 1)), di, knee + i);
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace lab_root_test
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <gtest/gtest.h>

#include "color/convert.h"
#include "each_target.h"

namespace lab_root_test {
HWY_EXPORT(root_lanes);
}  // namespace lab_root_test

namespace {

float from_bits(std::int32_t b) {
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

std::int32_t bits_of(float f) {
    std::int32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// Every stride-th float of size 1e-3..top, of either sign, with du of 8 e
// of u (the size lab_float gives a pixel whose u does not cancel), on every
// target; the lanes outside their bound reported.
void check_roots(int stride, float top) {
    constexpr int kChunk = 4096;
    alignas(64) float u[kChunk], du[kChunk], f[kChunk], ef[kChunk];
    alignas(64) std::int32_t knee[kChunk];
    static double exact[kChunk][3];
    int wrong = 0;
    // kChunk floats from bit pattern `start` on, every stride-th up to
    // `hi`, of the given sign.
    const auto chunk = [&](float sign, std::int64_t start, int step, std::int64_t hi) {
        for (int k = 0; k < kChunk; ++k) {
            const std::int64_t b = std::min<std::int64_t>(start + std::int64_t{k} * step, hi);
            u[k] = sign * from_bits(static_cast<std::int32_t>(b));
            du[k] = std::fabs(u[k]) * static_cast<float>(8.0 / 16777216);
            for (int m = 0; m < 3; ++m)
                exact[k][m] = color_detail::lab_f(double(u[k]) + (m - 1) * double(du[k]));
        }
        for_each_target([&](const std::string& target) {
            HWY_DYNAMIC_DISPATCH(lab_root_test::root_lanes)(u, du, f, ef, knee, kChunk);
            for (int k = 0; k < kChunk; ++k)
                for (int m = 0; m < 3 && !knee[k]; ++m)
                    if (!(std::fabs(f[k] - exact[k][m]) <= ef[k]) && ++wrong <= 3)
                        ADD_FAILURE() << "on " << target << ": u " << u[k] << " moved " << (m - 1)
                                      << " du: f " << f[k] << ", double " << exact[k][m]
                                      << ", bound " << ef[k];
        });
    };
    // Every float within 2048 of the knee, where a move by du may change
    // the branch (and the two forms differ by 2.8e-7: the lanes must be
    // held back).
    const std::int32_t knee_bits = bits_of(0.008856f);
    chunk(1.0f, knee_bits - kChunk / 2, 1, knee_bits + kChunk / 2);
    for (float sign : {1.0f, -1.0f}) {
        const std::int32_t lo = bits_of(1e-3f), hi = bits_of(sign > 0 ? top : 21.0f);
        for (std::int64_t start = lo; start <= hi; start += std::int64_t{kChunk} * stride)
            chunk(sign, start, stride, hi);
    }
}

}  // namespace

TEST(LabFloatRoot, WithinItsBoundOnBothBranches) { check_roots(127, 64.0f); }

TEST(LabFloatRoot, DISABLED_EveryFloat) { check_roots(1, 64.0f); }
#endif  // HWY_ONCE
