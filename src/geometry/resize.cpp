// resize: a source rectangle scaled onto a destination rectangle.
//
// The source column of a destination pixel depends on its column alone and
// the source row on its row alone, so the columns are mapped once into a
// table and the rows as they come, both without a division per step.  The
// sampler is applied in its two steps: along the source rows for every
// column of the table (kept for the next destination row, which often needs
// the same source rows), then between the two rows, element by element.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "buffers/rows.h"
#include "geometry/offsets.h"
#include "geometry/resample.h"
#include "platform/cpu_features.h"
#include "platform/thread_pool.h"
#include "platform/wide_int.h"

namespace {

// floor(n * num / den) for n = n0, n0 + 1, ... with one division at the
// start: resize's source positions, exact for any sizes.  num, den > 0.
class ScaledSteps {
public:
    ScaledSteps(long long n0, long long num, long long den)
        : q_(num / den), r_(num % den), den_(den) {
        const platform::wide_int p = static_cast<platform::wide_int>(n0) * num;
        value_ = static_cast<long long>(p / den);
        rem_ = static_cast<long long>(p % den);
    }
    long long value() const { return value_; }
    void next() {
        value_ += q_;
        rem_ += r_;
        if (rem_ >= den_) rem_ -= den_, ++value_;
    }

private:
    long long value_, rem_;
    const long long q_, r_, den_;
};

// One destination column of resize: the source column and its fraction.
struct ColumnTap {
    int ix;
    int fx;
    std::int32_t weights;
};

// Weights of one row pair for the horizontal step: (256 - f) in the low
// half, f in the high half, as the multiply-add takes them.
std::int32_t pair_weights(int f) { return static_cast<std::int32_t>((f << 16) | (256 - f)); }

// The horizontal step of the sampler along one source row: for each column
// k, the three components p[ix] (256 - fx) + p[ix + 1] fx into h[3k..3k+2].
// h has room for one value more (the SIMD store writes four).
void horizontal_pass(const PIXEL_YC* row, const ColumnTap* taps, std::size_t n, std::int32_t* h) {
    for (std::size_t k = 0; k < n; ++k) {
        const PIXEL_YC* p = row + taps[k].ix;
#if defined(__SSE2__)
        // 64-bit loads that 32-bit x86 has as well (movq).
        const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        const __m128i b =
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(reinterpret_cast<const char*>(p) + 4));
        const __m128i pair = _mm_unpacklo_epi16(a, _mm_srli_epi64(b, 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(h + 3 * k),
                         _mm_madd_epi16(pair, _mm_set1_epi32(taps[k].weights)));
#else
        const int fx = taps[k].fx;
        h[3 * k] = p[0].y * (256 - fx) + p[1].y * fx;
        h[3 * k + 1] = p[0].cb * (256 - fx) + p[1].cb * fx;
        h[3 * k + 2] = p[0].cr * (256 - fx) + p[1].cr * fx;
#endif
    }
}

// The vertical step: out[k] = (top[k] (256 - fy) + bottom[k] fy) >> 16.
// Plain element-wise work that compilers vectorise; AVX2 multiplies eight
// 32-bit lanes at once where the processor has it.
[[gnu::always_inline]] inline void vertical_pass_body(const std::int32_t* top,
                                                      const std::int32_t* bottom, int fy,
                                                      std::int16_t* out, std::size_t n) {
    const int wt = 256 - fy;
    for (std::size_t k = 0; k < n; ++k)
        out[k] = static_cast<std::int16_t>((top[k] * wt + bottom[k] * fy) >> 16);
}

QUORVEL_TARGET_AVX2 void vertical_pass_avx2(const std::int32_t* top, const std::int32_t* bottom,
                                            int fy, std::int16_t* out, std::size_t n) {
    vertical_pass_body(top, bottom, fy, out, n);
}

void vertical_pass(const std::int32_t* top, const std::int32_t* bottom, int fy, std::int16_t* out,
                   std::size_t n) {
    if (platform::has_avx2())
        vertical_pass_avx2(top, bottom, fy, out, n);
    else
        vertical_pass_body(top, bottom, fy, out, n);
}

// The horizontal results of two source rows, iy and iy + 1, kept while the
// destination rows that need them are made (an enlargement reuses a pair
// for several rows, a reduction usually one of its rows).
class RowPairCache {
public:
    RowPairCache(std::int32_t* first, std::int32_t* second) : buf_{first, second} {}

    template <class Make>
    void get(long long iy, Make make, const std::int32_t** top, const std::int32_t** bottom) {
        if (row_[0] != iy && row_[1] == iy) swap();
        if (row_[0] != iy && row_[0] == iy + 1) swap();
        if (row_[0] != iy) make(iy, buf_[0]), row_[0] = iy;
        if (row_[1] != iy + 1) make(iy + 1, buf_[1]), row_[1] = iy + 1;
        *top = buf_[0];
        *bottom = buf_[1];
    }

private:
    void swap() {
        std::swap(buf_[0], buf_[1]);
        std::swap(row_[0], row_[1]);
    }
    std::int32_t* buf_[2];
    long long row_[2] = {-1, -1};
};

}  // namespace

void resize_region(const Frame& src, const Frame& dst, const ResizeJob& job) {
    const ReadArea area =
        read_area(src, job.sx, job.sy, std::min(job.sw, src.max_w), std::min(job.sh, src.max_h));
    const Span cols = forward_inside(std::min(job.dw, dst.max_w), job.dx, dst.max_w);
    const Span rows = forward_inside(std::min(job.dh, dst.max_h), job.dy, dst.max_h);
    if (area.empty() || cols.empty() || rows.empty()) return;

    // The source column depends on the destination column alone: one table
    // for all rows.  Source columns grow with the destination column, so the
    // readable ones are one run, and the single-tap ones (the last readable
    // column) end it.
    std::vector<ColumnTap> taps;
    taps.reserve(static_cast<std::size_t>(cols.size()));
    long long first_col = cols.begin;
    ScaledSteps x(cols.begin, static_cast<long long>(job.sw) * 256, job.dw);
    for (long long j = cols.begin; j < cols.end; ++j, x.next()) {
        const long long ix = job.sx + (x.value() >> 8);
        if (ix < area.x0) {
            first_col = j + 1;
            continue;
        }
        if (ix >= area.x1) break;
        const int fx = static_cast<int>(x.value() & 255);
        taps.push_back({static_cast<int>(ix), fx, pair_weights(fx)});
    }
    const std::size_t n = taps.size();
    if (n == 0) return;
    std::size_t n_pairs = n;  // entries before the single-tap ones
    while (n_pairs > 0 && taps[n_pairs - 1].ix == area.x1 - 1) --n_pairs;

    // Two rows of horizontal results per thread.
    const std::size_t stride = 3 * n_pairs + 4;
    const int slots = row_loop_threads(static_cast<int>(rows.size()));
    std::vector<std::int32_t> work(stride * 2 * static_cast<std::size_t>(slots));

    parallel_ranges_by_thread(static_cast<int>(rows.size()), [&](int thread, int begin, int end) {
        const std::size_t slot = static_cast<std::size_t>(thread);
        RowPairCache cache(&work[stride * 2 * slot], &work[stride * (2 * slot + 1)]);
        auto make = [&](long long iy, std::int32_t* h) {
            horizontal_pass(src.row(static_cast<int>(iy)), taps.data(), n_pairs, h);
        };
        ScaledSteps y(rows.begin + begin, static_cast<long long>(job.sh) * 256, job.dh);
        for (long long i = rows.begin + begin; i < rows.begin + end; ++i, y.next()) {
            const long long iy = job.sy + (y.value() >> 8);
            if (iy < area.y0 || iy >= area.y1) continue;
            const PIXEL_YC* r0 = src.row(static_cast<int>(iy));
            PIXEL_YC* d = dst.row(static_cast<int>(job.dy + i)) + (job.dx + first_col);
            std::size_t k = 0;
            if (iy < area.y1 - 1 && n_pairs > 0) {
                const std::int32_t *top, *bottom;
                cache.get(iy, make, &top, &bottom);
                vertical_pass(top, bottom, static_cast<int>(y.value() & 255),
                              reinterpret_cast<std::int16_t*>(d), 3 * n_pairs);
                k = n_pairs;
            }
            for (; k < n; ++k) d[k] = r0[taps[k].ix];
        }
    });
}
