#include "filters/diffuse.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "buffers/rows.h"
#include "platform/thread_pool.h"
#include "toolkit/border.h"

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
    // Shares of the static schedule: share t always draws from generator t.
    const pool::Split split{
        .jobs = std::min(pool::worker_count(), kMaxScatterShares), .grain = 1, .shares = true};
    pool::parallel_for(area.h, split, [&](const pool::Range& r) {
        ScatterRandom& random = scatter_randoms[static_cast<std::size_t>(r.slot)];
        for (int i = r.begin; i < r.end; ++i) {
            PIXEL_YC* out = destination.row(area.dy + i) + area.dx;
            const long long y = static_cast<long long>(area.sy) + i;
            for (int j = 0; j < area.w; ++j) {
                const long long x = static_cast<long long>(area.sx) + j;
                const int r1 = random.next();
                const int r2 = random.next();
                // Picks beyond the picture fold back into it.
                const long long column =
                    toolkit::border_cell(toolkit::border_rule::fold, x + offset(r1, rx), pw);
                const long long row =
                    toolkit::border_cell(toolkit::border_rule::fold, y + offset(r2, ry), ph);
                out[j] = picture[row * stride + column];
            }
        }
    });
}

void restart_diffuse_generators() { scatter_randoms.fill(ScatterRandom{}); }
