// resize: a source rectangle scaled onto a destination rectangle.
//
// The source column of a destination pixel depends on its column alone and
// the source row on its row alone, so the columns are mapped once into a
// table and the rows as they come, both without a division per step.  The
// sampler is applied in its two steps: along the source rows for every
// column of the table (kept for the next destination row, which often needs
// the same source rows), then between the two rows, element by element.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "geometry/resize.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "geometry/bilinear_simd-inl.h"
#include "geometry/offsets.h"
#include "geometry/resample.h"
#include "platform/thread_pool.h"
#include "platform/wide_int.h"

// The column table's entries, shared by every target's kernels (this file
// is compiled once per instruction set; they are defined on the first pass).
#ifndef QUORVEL_GEOMETRY_RESIZE_COLUMN_TAP_
#define QUORVEL_GEOMETRY_RESIZE_COLUMN_TAP_
namespace {

// One destination column of resize: the source column and its fraction.
struct ColumnTap {
    int ix;
    int fx;
    std::int32_t weights;
};

// Weights of one row pair for the horizontal step: (256 - f) in the low
// half, f in the high half, as the multiply-add takes them.
std::int32_t pair_weights(int f) { return static_cast<std::int32_t>((f << 16) | (256 - f)); }

}  // namespace
#endif  // QUORVEL_GEOMETRY_RESIZE_COLUMN_TAP_

HWY_BEFORE_NAMESPACE();
namespace resize_simd {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// The horizontal step of the sampler along one source row: for each column
// k, the three components p[ix] (256 - fx) + p[ix + 1] fx into h[3k..3k+2].
// h has room for one value more (the vector store writes four); the
// column's two pixels go through one vector (bilinear_simd-inl.h).
static void horizontal_pass(const PIXEL_YC* row, const ColumnTap* taps, std::size_t n,
                            std::int32_t* h) {
    for (std::size_t k = 0; k < n; ++k) {
        const PIXEL_YC* p = row + taps[k].ix;
#if HWY_TARGET == HWY_SCALAR
        const int fx = taps[k].fx;
        h[3 * k] = p[0].y * (256 - fx) + p[1].y * fx;
        h[3 * k + 1] = p[0].cb * (256 - fx) + p[1].cb * fx;
        h[3 * k + 2] = p[0].cr * (256 - fx) + p[1].cr * fx;
#else
        const hn::Full128<std::int32_t> d32;
        const auto weights =
            hn::BitCast(hn::Full128<std::int16_t>(), hn::Set(d32, taps[k].weights));
        hn::StoreU(bilinear_simd::HWY_NAMESPACE::row_taps(p, weights), d32, h + 3 * k);
#endif
    }
}

// The vertical step: out[k] = (top[k] (256 - fy) + bottom[k] fy) >> 16,
// which is inside the 16-bit range (the weights of the four taps sum to
// 65536).
static void vertical_pass(const std::int32_t* top, const std::int32_t* bottom, int fy,
                          std::int16_t* out, std::size_t n) {
    const hn::ScalableTag<std::int32_t> d32;
    const hn::Rebind<std::int16_t, decltype(d32)> d16;
    const auto wt = hn::Set(d32, 256 - fy), wb = hn::Set(d32, fy);
    const std::size_t lanes = hn::Lanes(d32);
    std::size_t k = 0;
    for (; k + lanes <= n; k += lanes) {
        const auto sum =
            hn::Add(hn::Mul(hn::LoadU(d32, top + k), wt), hn::Mul(hn::LoadU(d32, bottom + k), wb));
        hn::StoreU(hn::DemoteTo(d16, hn::ShiftRight<16>(sum)), d16, out + k);
    }
    for (; k < n; ++k)
        out[k] = static_cast<std::int16_t>((top[k] * (256 - fy) + bottom[k] * fy) >> 16);
}

}  // namespace HWY_NAMESPACE
}  // namespace resize_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace resize_simd {
HWY_EXPORT(horizontal_pass);
HWY_EXPORT(vertical_pass);
}  // namespace resize_simd

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

    // Two rows of horizontal results per slot of the range call, kept from
    // range to range: a range that goes on where its slot's last one ended
    // finds its first source rows made.
    const std::size_t stride = 3 * n_pairs + 4;
    const int count = static_cast<int>(rows.size());
    const std::size_t slots = static_cast<std::size_t>(pool::slots(count));
    std::vector<std::int32_t> work(stride * 2 * slots);
    std::vector<RowPairCache> caches;
    caches.reserve(slots);
    for (std::size_t k = 0; k < slots; ++k)
        caches.emplace_back(&work[stride * 2 * k], &work[stride * (2 * k + 1)]);

    const auto horizontal_pass = HWY_DYNAMIC_DISPATCH(resize_simd::horizontal_pass);
    const auto vertical_pass = HWY_DYNAMIC_DISPATCH(resize_simd::vertical_pass);
    pool::parallel_for(count, [&](const pool::Range& r) {
        RowPairCache& cache = caches[static_cast<std::size_t>(r.slot)];
        auto make = [&](long long iy, std::int32_t* h) {
            horizontal_pass(src.row(static_cast<int>(iy)), taps.data(), n_pairs, h);
        };
        ScaledSteps y(rows.begin + r.begin, static_cast<long long>(job.sh) * 256, job.dh);
        for (long long i = rows.begin + r.begin; i < rows.begin + r.end; ++i, y.next()) {
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
#endif  // HWY_ONCE
