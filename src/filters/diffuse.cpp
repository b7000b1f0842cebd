#include "filters/diffuse.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "buffers/rows.h"
#include "platform/thread_pool.h"

namespace {

// The C runtime's rand as diffuse uses it (the Windows runtime's linear
// congruence): 15-bit results, starting from 1 and never reseeded.
class ScatterRandom {
public:
    int next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }

private:
    std::uint32_t state_ = 1;
};

// The rows are cut into one contiguous share per thread, and share t always
// draws from generator t, kept from call to call whichever pool thread runs
// it, as a loop with a static schedule and per-thread generators would: the
// picture depends on the thread count and on earlier calls, never on which
// thread started first.  Calls come one at a time from the script's thread.
constexpr int kMaxScatterShares = 64;
std::array<ScatterRandom, kMaxScatterShares> scatter_randoms;

// Coordinate v folded into a picture line of `length` pixels: period
// 2 length - 1; past the end it runs back from the last pixel, before the
// start from the second.
int fold(long long v, long long length) {
    const long long period = 2 * length - 1;
    long long m = v;
    if (m < 0 || m >= period) {
        m %= period;
        if (m < 0) m += period;
    }
    return static_cast<int>(m <= length - 1 ? m : period - m);
}

// A displacement of -reach..reach from a 15-bit random number.
long long offset(int random, int reach) {
    return ((static_cast<long long>(random) * (2LL * reach + 1)) >> 15) - reach;
}

}  // namespace

void diffuse_region(const Frame& source, const Frame& destination, int pw, int ph,
                    const PairArea& area, int rx, int ry) {
    if (area.w < 1 || area.h < 1 || pw < 1 || ph < 1) return;
    pw = std::min(pw, source.max_w);
    ph = std::min(ph, source.max_h);
    // Reading and writing one buffer at once would let a pick see a pixel
    // another thread has just replaced (or half replaced): read a copy.
    std::vector<PIXEL_YC> copy;
    const PIXEL_YC* picture = source.pixels;
    std::ptrdiff_t stride = source.max_w;
    if (source.pixels == destination.pixels) {
        copy.resize(static_cast<std::size_t>(pw) * static_cast<std::size_t>(ph));
        parallel_rows(ph, [&](int y) {
            std::copy(source.row(y), source.row(y) + pw,
                      copy.data() + static_cast<std::ptrdiff_t>(y) * pw);
        });
        picture = copy.data();
        stride = pw;
    }
    const int shares = std::min({pool::worker_count(), area.h, kMaxScatterShares});
    pool::run_jobs(shares, [&](int share) {
        ScatterRandom& random = scatter_randoms[static_cast<std::size_t>(share)];
        const int begin = static_cast<int>(static_cast<long long>(area.h) * share / shares);
        const int end = static_cast<int>(static_cast<long long>(area.h) * (share + 1) / shares);
        for (int i = begin; i < end; ++i) {
            PIXEL_YC* out = destination.row(area.dy + i) + area.dx;
            const long long y = static_cast<long long>(area.sy) + i;
            for (int j = 0; j < area.w; ++j) {
                const long long x = static_cast<long long>(area.sx) + j;
                const int r1 = random.next();
                const int r2 = random.next();
                const int column = fold(x + offset(r1, rx), pw);
                const int row = fold(y + offset(r2, ry), ph);
                out[j] = picture[row * stride + column];
            }
        }
    });
}

void restart_diffuse_generators() { scatter_randoms.fill(ScatterRandom{}); }
