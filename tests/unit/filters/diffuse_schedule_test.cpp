// diffuse draws its random picks per thread; its picture must depend on the
// thread count and the earlier calls only, never on which pool thread ran
// which rows.  Checked against a serial walk of the shares it documents.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "filters/diffuse.h"
#include "platform/thread_pool.h"

namespace {

// The runtime's generator, as a script sees it through diffuse.
struct Lcg {
    std::uint32_t state = 1;
    int next() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFF);
    }
};

int folded(long long v, long long length) {
    const long long period = 2 * length - 1;
    long long m = ((v % period) + period) % period;
    return static_cast<int>(m <= length - 1 ? m : period - m);
}

// Share t of `shares` takes rows [h t / shares, h (t + 1) / shares) and
// draws x then y per pixel from generator t.
std::vector<PIXEL_YC> expected(const std::vector<PIXEL_YC>& src, int w, int h, int rx, int ry,
                               std::vector<Lcg>& generators) {
    std::vector<PIXEL_YC> out(src.size());
    const int shares = static_cast<int>(generators.size());
    for (int t = 0; t < shares; ++t) {
        for (int y = h * t / shares; y < h * (t + 1) / shares; ++y) {
            for (int x = 0; x < w; ++x) {
                const long long kx =
                    (static_cast<long long>(generators[t].next()) * (2 * rx + 1)) >> 15;
                const long long ky =
                    (static_cast<long long>(generators[t].next()) * (2 * ry + 1)) >> 15;
                const int sx = folded(x + kx - rx, w), sy = folded(y + ky - ry, h);
                out[static_cast<std::size_t>(y) * w + x] =
                    src[static_cast<std::size_t>(sy) * w + sx];
            }
        }
    }
    return out;
}

bool same(const PIXEL_YC& a, const PIXEL_YC& b) {
    return a.y == b.y && a.cb == b.cb && a.cr == b.cr;
}

}  // namespace

TEST(DiffuseSchedule, EachShareOfRowsDrawsFromItsOwnGeneratorAcrossCalls) {
    const int w = 37, h = 29;
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> value(-2000, 4000);
    std::vector<PIXEL_YC> source(static_cast<std::size_t>(w) * h), destination(source.size());
    for (PIXEL_YC& p : source) {
        p = {static_cast<short>(value(rng)), static_cast<short>(value(rng)),
             static_cast<short>(value(rng))};
    }
    const Frame src{source.data(), w, h}, dst{destination.data(), w, h};
    const PairArea whole{0, 0, 0, 0, w, h};
    for (int threads : {1, 2, 3, 4}) {
        pool::set_worker_count(threads);
        restart_diffuse_generators();
        std::vector<Lcg> generators(static_cast<std::size_t>(threads));
        // Many calls: a mapping that followed the pool's timing would
        // sooner or later hand a share to another generator.
        for (int call = 0; call < 12; ++call) {
            const int rx = call % 5, ry = 3 - call % 4;
            diffuse_region(src, dst, w, h, whole, rx, ry);
            const std::vector<PIXEL_YC> want = expected(source, w, h, rx, ry, generators);
            for (std::size_t i = 0; i < want.size(); ++i) {
                ASSERT_TRUE(same(destination[i], want[i]))
                    << threads << " threads, call " << call << ", pixel " << i;
            }
        }
    }
    pool::set_worker_count(1);
}
