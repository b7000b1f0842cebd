// merge_near_lab and mkmask_near_lab in single-precision lanes against the
// per-pixel double rule, bit for bit, on every instruction set this machine
// runs: random pairs, and pairs the double rule puts next to one of its
// cuts (nearly equal distances, a weight t with 4096 t or a blended
// component next to a whole number, an L*a*b* argument next to the knee of
// the cube root), equal pixels and components, and any 16-bit values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "buffers/frame.h"
#include "buffers/numeric.h"
#include "color/convert.h"
#include "each_target.h"
#include "lab_pixels.h"
#include "mask/near_merge.h"
#include "platform/thread_pool.h"

namespace {

constexpr int kW = 509;

NearMerge lab_merge(double p, double wl, double wb, double wa, double k) {
    NearMerge m;
    m.lab = true;
    m.key[0] = 2048, m.key[1] = 300, m.key[2] = -200;
    m.weight[0] = wl, m.weight[1] = wb, m.weight[2] = wa;
    m.multiplier = k;
    m.exponent = p;
    return m;
}

// The rule: distances through yc_to_lab, the weight through near_weight.
double distance(const NearMerge& m, const PIXEL_YC& q) {
    const Triple key = yc_to_lab(m.key[0], m.key[1], m.key[2]);
    const Triple lab = yc_to_lab(q.y, q.cb, q.cr);
    const double el = m.weight[0] * (lab.a - key.a), ea = m.weight[2] * (lab.b - key.b),
                 eb = m.weight[1] * (lab.c - key.c);
    return std::sqrt(el * el + ea * ea + eb * eb) * m.multiplier;
}

PIXEL_YC rule(const NearMerge& m, bool mask, const PIXEL_YC& a, const PIXEL_YC& b) {
    const double da = distance(m, a), db = distance(m, b);
    const double t = near_weight(da, db, m.exponent);
    if (mask)
        return lab_pixel(m.exponent == 0 ? (db > da ? 4096 : 0) : trunc_to_int(t * 4096), 0, 0);
    if (m.exponent == 0) return db > da ? a : b;
    const auto blend = [&](std::int16_t x, std::int16_t z) {
        return x == z ? x : to_component(t * x + (1 - t) * z);
    };
    return {blend(a.y, b.y), blend(a.cb, b.cb), blend(a.cr, b.cr)};
}

double to_whole(double x) { return std::fabs(x - std::nearbyint(x)); }

struct Pairs {
    std::vector<PIXEL_YC> a, b;
    void add(const PIXEL_YC& pa, const PIXEL_YC& pb) { a.push_back(pa), b.push_back(pb); }
};

// Random pairs: nominal, a margin, equal pixels and components, any values.
void add_random(Pairs& p, std::uint32_t seed, int count) {
    LabLcg rng{seed};
    for (int n = 0; n < count; ++n) {
        PIXEL_YC a = random_lab_pixel(rng), b = random_lab_pixel(rng);
        if (n % 9 == 1) b = a;
        if (n % 9 == 2) b.cr = a.cr;
        if (n % 9 == 3) b.y = a.y, b.cb = a.cb;
        if (n % 23 == 4)
            a = lab_pixel(rng.next(-32768, 32767), rng.next(-32768, 32767),
                          rng.next(-32768, 32767));
        p.add(a, b);
    }
}

// Pairs of a pool sorted by distance: neighbours are nearly equally far
// (exponent 0); for exponent 1, partners chosen so that 4096 t falls next
// to a whole number.
void add_near_cuts(Pairs& p, const NearMerge& m, std::uint32_t seed, int pool_size) {
    LabLcg rng{seed};
    std::vector<std::pair<double, PIXEL_YC>> pool;
    for (int n = 0; n < pool_size; ++n) {
        const PIXEL_YC q = random_lab_pixel(rng);
        pool.emplace_back(distance(m, q), q);
    }
    std::sort(pool.begin(), pool.end(),
              [](const auto& x, const auto& y) { return x.first < y.first; });
    if (m.exponent == 0) {
        for (std::size_t i = 0; i + 1 < pool.size(); ++i)
            if (std::fabs(pool[i].first - pool[i + 1].first) < 2e-3 * std::fabs(m.multiplier))
                p.add(pool[i].second, pool[i + 1].second),
                    p.add(pool[i + 1].second, pool[i].second);
        return;
    }
    for (int n = 0; n < pool_size; ++n) {
        const auto& x = pool[static_cast<std::size_t>(rng.next(0, pool_size - 1))];
        const int k = rng.next(1, 4095);
        // dB = dA k / (4096 - k) gives t = k / 4096.
        const double want = x.first * k / (4096 - k);
        const auto at = std::lower_bound(pool.begin(), pool.end(), want,
                                         [](const auto& e, double v) { return e.first < v; });
        for (auto it = at == pool.begin() ? at : at - 1; it != pool.end() && it <= at; ++it) {
            const double t = near_weight(x.first, it->first, 1);
            if (to_whole(t * 4096) < 0.02) p.add(x.second, it->second);
        }
    }
}

// Pairs with a blended component within 0.01 of a whole number.
void add_blend_cuts(Pairs& p, const NearMerge& m, std::uint32_t seed, int tries) {
    LabLcg rng{seed};
    for (int n = 0; n < tries; ++n) {
        const PIXEL_YC a = random_lab_pixel(rng), b = random_lab_pixel(rng);
        const double t = near_weight(distance(m, a), distance(m, b), m.exponent);
        const double v[3] = {t * a.y + (1 - t) * b.y, t * a.cb + (1 - t) * b.cb,
                             t * a.cr + (1 - t) * b.cr};
        if (to_whole(v[0]) < 0.01 || to_whole(v[1]) < 0.01 || to_whole(v[2]) < 0.01) p.add(a, b);
    }
}

// The kernel on every target against the rule; the number of pixels
// that differed, the first few reported.
int expect_rule(const std::string& what, Pairs pairs, const NearMerge& m, bool mask,
                int width = kW) {
    const std::size_t size = (pairs.a.size() + width - 1) / width * width;
    LabLcg rng{5};
    while (pairs.a.size() < size) pairs.add(random_lab_pixel(rng), random_lab_pixel(rng));
    const int rows = static_cast<int>(size / width);
    std::vector<PIXEL_YC> expected(size);
    for (std::size_t i = 0; i < size; ++i) expected[i] = rule(m, mask, pairs.a[i], pairs.b[i]);
    int wrong = 0;
    pool::set_worker_count(1);
    for_each_target([&](const std::string& target) {
        std::vector<PIXEL_YC> a = pairs.a, b = pairs.b, out(size);
        (mask ? mask_near : merge_near)(Frame{a.data(), width, rows}, Frame{b.data(), width, rows},
                                        Frame{out.data(), width, rows},
                                        TripleArea{0, 0, 0, 0, 0, 0, width, rows}, m);
        for (std::size_t i = 0; i < size; ++i) {
            const PIXEL_YC &g = out[i], &e = expected[i];
            if (g.y == e.y && g.cb == e.cb && g.cr == e.cr) continue;
            if (++wrong <= 3)
                ADD_FAILURE() << what << (mask ? " mask" : " merge") << " p " << m.exponent
                              << " on " << target << ": A (" << pairs.a[i].y << ", "
                              << pairs.a[i].cb << ", " << pairs.a[i].cr << ") B (" << pairs.b[i].y
                              << ", " << pairs.b[i].cb << ", " << pairs.b[i].cr << ") gave " << g.y
                              << " " << g.cb << " " << g.cr << ", expected " << e.y << " " << e.cb
                              << " " << e.cr;
        }
    });
    pool::set_worker_count(2);
    return wrong;
}

// Weights and multipliers the float lanes take (and one they leave to the
// double lanes: a weight below their range).
const NearMerge kCases[] = {
    lab_merge(0, 1, 1, 1, 1),    lab_merge(1, 1, 1, 1, 1),      lab_merge(0, 0.2, 1, 7, -3),
    lab_merge(1, 0.2, 1, 7, -3), lab_merge(1, 0, 2.5, 1, 1e-6), lab_merge(1, 1, 1, 1e-7, 1),
};

}  // namespace

TEST(NearLabFloatExact, RandomPairs) {
    for (const NearMerge& m : kCases)
        for (bool mask : {false, true}) {
            Pairs p;
            add_random(p, 17, 12000);
            expect_rule("random", p, m, mask);
        }
}

TEST(NearLabFloatExact, DistancesAndWeightsNextToTheirCuts) {
    for (const NearMerge& m : kCases)
        for (bool mask : {false, true}) {
            Pairs p;
            add_near_cuts(p, m, 23, 40000);
            if (!mask && m.exponent == 1) add_blend_cuts(p, m, 29, 20000);
            EXPECT_GT(p.a.size(), 1000u);
            expect_rule("near a cut", p, m, mask);
        }
}

// Pixels next to the knee against themselves: with the key on pixel K,
// K's double distance is 0 and its weight against any B exactly 1, and the
// float distance of K (not 0) is far smaller than B's, so 4096 t lies just
// below 4096, within the bound of K's distance: the lanes must hold K back.
// Random partners and weights too.
TEST(NearLabFloatExact, CubeRootArgumentsNextToTheKnee) {
    const auto knees = knee_pixels(1e-8, 5);
    EXPECT_GT(knees.size(), 150u);
    LabLcg rng{37};
    int tried = 0;
    for (std::size_t i = 0; i < knees.size(); ++i, ++tried) {
        NearMerge m = lab_merge(1, 1, 1, 1, 1);
        m.key[0] = knees[i].y, m.key[1] = knees[i].cb, m.key[2] = knees[i].cr;
        Pairs p;
        for (int j = 0; j < 8; ++j) p.add(knees[i], random_lab_pixel(rng));
        if (expect_rule("knee as key", p, m, true, 8) > 0) break;
    }
    Pairs p;
    for (const PIXEL_YC& q : knee_pixels(3e-6, 11)) {
        const PIXEL_YC r = random_lab_pixel(rng);
        p.add(q, r), p.add(r, q);
    }
    for (const NearMerge& m : kCases)
        for (bool mask : {false, true}) expect_rule("knee", p, m, mask);
}
