// mosaic: the average colour of each block.
//
// The rows of a block are summed column by column with vector code compiled
// once per instruction set and chosen at run time (Highway); the columns
// are then folded into their blocks.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "geometry/mosaic.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "buffers/fill_pixels.h"
#include "buffers/rows.h"
#include "geometry/mosaic.h"
#include "geometry/offsets.h"

HWY_BEFORE_NAMESPACE();
namespace mosaic_simd {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// sums[k] += (a[k] + b[k]) + (c[k] + d[k]): the components of four row
// segments added to the column sums element by element; four rows at a
// time keep the sums' loads and stores off the critical path.
static void add_rows(const std::int16_t* a, const std::int16_t* b, const std::int16_t* c,
                     const std::int16_t* d, std::int32_t* sums, std::size_t n) {
    const hn::ScalableTag<std::int32_t> d32;
    const hn::Rebind<std::int16_t, decltype(d32)> d16;
    const auto load = [&](const std::int16_t* p) { return hn::PromoteTo(d32, hn::LoadU(d16, p)); };
    const std::size_t lanes = hn::Lanes(d32);
    std::size_t k = 0;
    for (; k + lanes <= n; k += lanes) {
        const auto rows =
            hn::Add(hn::Add(load(a + k), load(b + k)), hn::Add(load(c + k), load(d + k)));
        hn::StoreU(hn::Add(hn::LoadU(d32, sums + k), rows), d32, sums + k);
    }
    for (; k < n; ++k) sums[k] += (a[k] + b[k]) + (c[k] + d[k]);
}

}  // namespace HWY_NAMESPACE
}  // namespace mosaic_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace mosaic_simd {
HWY_EXPORT(add_rows);
}  // namespace mosaic_simd

namespace {

// The result of one block: its average, or nothing when no source pixel of
// the block lies inside the buffer.
struct BlockAverage {
    PIXEL_YC value;
    bool filled;
};

// Sums of one block while its rows are added up.  64-bit: a block may hold
// the whole frame.
struct BlockSum {
    std::int64_t y, cb, cr;
};

// Blocks summed at a time on the stack; a block row wider than this is done
// in several chunks of blocks.
constexpr long long kChunkBlocks = 256;
// Columns whose sums over a block's rows are kept at a time, and the rows
// added into them before they are folded into the 64-bit block sums (the
// 32-bit column sums cannot overflow within that many rows).
constexpr long long kChunkColumns = 512;
constexpr long long kRowsPerFold = 65536;

// Stands in for the missing rows of a last group of fewer than four.
constexpr std::int16_t kZeros[3 * kChunkColumns] = {};

// Averages every block of block rows [first, last).  Each block row belongs
// to one job, so no two jobs add to the same block.  The rows of a block row
// are summed column by column first (contiguous, vectorised), then the
// columns are folded into their blocks.
void average_block_rows(const Frame& src, const MosaicRegion& r, const Span& src_rows,
                        const Span& src_cols, long long block_cols, BlockAverage* table,
                        long long first, long long last) {
    const auto add_rows = HWY_DYNAMIC_DISPATCH(mosaic_simd::add_rows);
    BlockSum sums[kChunkBlocks];
    std::int32_t column_sums[3 * kChunkColumns];
    for (long long br = first; br < last; ++br) {
        const Span rows = Span{br * r.bh, std::min<long long>(r.h, (br + 1) * r.bh)} & src_rows;
        BlockAverage* out = table + br * block_cols;
        for (long long c0 = 0; c0 < block_cols; c0 += kChunkBlocks) {
            const long long c1 = std::min(block_cols, c0 + kChunkBlocks);
            for (long long c = c0; c < c1; ++c) sums[c - c0] = {0, 0, 0};
            const Span cols = Span{c0 * r.bw, std::min<long long>(r.w, c1 * r.bw)} & src_cols;
            for (long long j0 = cols.begin; j0 < cols.end; j0 += kChunkColumns) {
                const long long j1 = std::min(cols.end, j0 + kChunkColumns);
                const std::size_t values = static_cast<std::size_t>(3 * (j1 - j0));
                for (long long g0 = rows.begin; g0 < rows.end; g0 += kRowsPerFold) {
                    const long long g1 = std::min(rows.end, g0 + kRowsPerFold);
                    std::fill_n(column_sums, values, 0);
                    auto segment = [&](long long i) {
                        if (i >= g1) return kZeros;
                        const PIXEL_YC* p = src.row(static_cast<int>(r.sy + i)) + (r.sx + j0);
                        return reinterpret_cast<const std::int16_t*>(p);
                    };
                    for (long long i = g0; i < g1; i += 4)
                        add_rows(segment(i), segment(i + 1), segment(i + 2), segment(i + 3),
                                 column_sums, values);
                    long long c = j0 / r.bw, edge = (c + 1) * r.bw;
                    for (long long j = j0; j < j1; ++j) {
                        if (j == edge) ++c, edge += r.bw;
                        const std::int32_t* v = column_sums + 3 * (j - j0);
                        BlockSum& s = sums[c - c0];
                        s.y += v[0], s.cb += v[1], s.cr += v[2];
                    }
                }
            }
            for (long long c = c0; c < c1; ++c) {
                const Span block =
                    Span{c * r.bw, std::min<long long>(r.w, (c + 1) * r.bw)} & src_cols;
                const std::int64_t count = rows.size() * block.size();
                const BlockSum& s = sums[c - c0];
                out[c].filled = count != 0;
                if (count != 0)
                    out[c].value = {static_cast<std::int16_t>(s.y / count),
                                    static_cast<std::int16_t>(s.cb / count),
                                    static_cast<std::int16_t>(s.cr / count)};
            }
        }
    }
}

// Writes block rows [first, last) of the destination.  Every row of a block
// row receives the same pixels, and the blocks that received source pixels
// are one run of columns, so the first row is filled block by block and the
// others copy it.
void write_block_rows(const Frame& dst, const MosaicRegion& r, const Span& rows, const Span& cols,
                      long long block_cols, const BlockAverage* table, long long first,
                      long long last) {
    for (long long br = first; br < last; ++br) {
        const Span block_rows = Span{br * r.bh, std::min<long long>(r.h, (br + 1) * r.bh)} & rows;
        if (block_rows.empty()) continue;
        const BlockAverage* blocks = table + br * block_cols;
        PIXEL_YC* head = dst.row(static_cast<int>(r.dy + block_rows.begin));
        Span written{cols.end, cols.begin};
        for (long long c = cols.begin / r.bw; c * r.bw < cols.end; ++c) {
            if (!blocks[c].filled) continue;
            const Span run = Span{c * r.bw, (c + 1) * r.bw} & cols;
            fill_pixels(head + (r.dx + run.begin), static_cast<std::size_t>(run.size()),
                        blocks[c].value);
            written.begin = std::min(written.begin, run.begin);
            written.end = std::max(written.end, run.end);
        }
        if (written.empty()) continue;
        const std::size_t bytes = sizeof(PIXEL_YC) * static_cast<std::size_t>(written.size());
        for (long long i = block_rows.begin + 1; i < block_rows.end; ++i)
            std::memcpy(dst.row(static_cast<int>(r.dy + i)) + (r.dx + written.begin),
                        head + (r.dx + written.begin), bytes);
    }
}

}  // namespace

bool mosaic(const Frame& src, const Frame& dst, const MosaicRegion& r) {
    if (r.w < 1 || r.h < 1) return true;
    const long long block_cols = (static_cast<long long>(r.w) + r.bw - 1) / r.bw;
    const long long block_rows = (static_cast<long long>(r.h) + r.bh - 1) / r.bh;
    std::unique_ptr<BlockAverage[]> table(
        new (std::nothrow) BlockAverage[static_cast<std::size_t>(block_cols * block_rows)]);
    if (!table) return false;

    const Span src_rows = forward_inside(r.h, r.sy, src.max_h);
    const Span src_cols = forward_inside(r.w, r.sx, src.max_w);
    parallel_ranges(static_cast<int>(block_rows), [&](int first, int last) {
        average_block_rows(src, r, src_rows, src_cols, block_cols, table.get(), first, last);
    });

    const Span rows = forward_inside(r.h, r.dy, dst.max_h);
    const Span cols = forward_inside(r.w, r.dx, dst.max_w);
    if (rows.empty() || cols.empty()) return true;
    const long long first = rows.begin / r.bh, last = (rows.end - 1) / r.bh + 1;
    parallel_ranges(static_cast<int>(last - first), [&](int a, int b) {
        write_block_rows(dst, r, rows, cols, block_cols, table.get(), first + a, first + b);
    });
    return true;
}
#endif  // HWY_ONCE
