// merge_near and mkmask_near (the plain, fixed-point members) in double
// lanes against their per-pixel rule written out here, on every instruction
// set this machine runs: any 16-bit pixels, B often equal to A or agreeing
// on a component (equal distances, components kept), weights whose
// products need 64 bits, negative multipliers, and keys the lanes leave to
// the per-pixel rule.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "buffers/frame.h"
#include "buffers/numeric.h"
#include "each_target.h"
#include "mask/near_merge.h"
#include "platform/thread_pool.h"

namespace {

constexpr int kW = 257, kRows = 120;

// The fixed-point distance as the rule states it.
double plain_distance(const NearMerge& m, const PIXEL_YC& q) {
    const std::int16_t c[3] = {q.y, q.cb, q.cr};
    double s = 0;
    for (int k = 0; k < 3; ++k) {
        const long long w = trunc_to_int(m.weight[k] * 4096);
        const long long e = (w * (trunc_to_int(m.key[k]) - c[k])) >> 12;
        s += static_cast<double>(e) * e;
    }
    return std::sqrt(s) * m.multiplier;
}

PIXEL_YC expected_pixel(const NearMerge& m, bool mask, const PIXEL_YC& a, const PIXEL_YC& b) {
    const double da = plain_distance(m, a), db = plain_distance(m, b);
    const double t = near_weight(da, db, m.exponent);
    if (mask)
        return {static_cast<std::int16_t>(m.exponent == 0 ? (db > da ? 4096 : 0)
                                                           : trunc_to_int(t * 4096)),
                0, 0};
    if (m.exponent == 0) return db > da ? a : b;
    const auto blend = [&](std::int16_t x, std::int16_t z) {
        return x == z ? x : to_component(t * x + (1 - t) * z);
    };
    return {blend(a.y, b.y), blend(a.cb, b.cb), blend(a.cr, b.cr)};
}

}  // namespace

TEST(NearPlainExact, MergesAndMasksAreThePerPixelRuleOnEveryTarget) {
    std::vector<PIXEL_YC> pa(kW * kRows), pb(pa.size());
    std::uint32_t s = 99;
    const auto next = [&s](int lo, int hi) {
        s = s * 1664525u + 1013904223u;
        return static_cast<std::int16_t>(lo + static_cast<int>((s >> 8) % (hi - lo + 1)));
    };
    for (std::size_t i = 0; i < pa.size(); ++i) {
        const bool wide = i % 7 == 0;  // any 16-bit value, else the nominal ranges
        pa[i] = {next(wide ? -32768 : 0, wide ? 32767 : 4096), next(-2048, 2048), next(-2048, 2048)};
        pb[i] = {next(0, 4096), next(-2048, 2048), next(-2048, 2048)};
        if (i % 5 == 0) pb[i] = pa[i];                                     // equal distances
        if (i % 5 == 1) pb[i].cb = pa[i].cb, pb[i].cr = pa[i].cr;          // components kept
        if (i % 5 == 2) pb[i] = {pa[i].y, static_cast<std::int16_t>(-pa[i].cb), pa[i].cr};
    }
    NearMerge cases[7];
    cases[0].key[0] = 2048;
    cases[1] = cases[0], cases[1].exponent = 1;
    cases[2].exponent = 1, cases[2].key[1] = -700, cases[2].weight[0] = 0.2,
    cases[2].weight[1] = 7.3, cases[2].weight[2] = 3, cases[2].multiplier = -3;
    cases[3].weight[0] = 400000, cases[3].key[0] = 1 << 20;  // products beyond 32 bits
    cases[4] = cases[3], cases[4].exponent = 1, cases[4].key[2] = -(1 << 20);
    cases[5].exponent = 1, cases[5].key[0] = (1 << 20) + 1;  // left to the per-pixel rule
    cases[6].exponent = 1, cases[6].multiplier = 0;          // every t is 1/2
    for (const NearMerge& m : cases)
        for (bool mask : {false, true}) {
            std::vector<PIXEL_YC> expected(pa.size());
            for (std::size_t i = 0; i < pa.size(); ++i)
                expected[i] = expected_pixel(m, mask, pa[i], pb[i]);
            for_each_target([&](const std::string& target) {
                for (int workers : {1, 2}) {
                    pool::set_worker_count(workers);
                    std::vector<PIXEL_YC> a = pa, b = pb, out(pa.size());
                    (mask ? mask_near : merge_near)({a.data(), kW, kRows}, {b.data(), kW, kRows},
                                                    {out.data(), kW, kRows},
                                                    {0, 0, 0, 0, 0, 0, kW, kRows}, m);
                    int shown = 0;
                    for (std::size_t i = 0; i < out.size() && shown < 3; ++i)
                        if (out[i].y != expected[i].y || out[i].cb != expected[i].cb ||
                            out[i].cr != expected[i].cr)
                            ADD_FAILURE() << (mask ? "mkmask" : "merge") << "_near exponent "
                                          << m.exponent << " key " << m.key[0] << " on "
                                          << target << " at " << i << ": got " << out[i].y << " "
                                          << out[i].cb << " " << out[i].cr << ", expected "
                                          << expected[i].y << " " << expected[i].cb << " "
                                          << expected[i].cr << (++shown, "");
                }
            });
        }
    pool::set_worker_count(2);
}
