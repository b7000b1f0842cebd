#include "geometry/mosaic.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "buffers/fill_pixels.h"
#include "buffers/rows.h"
#include "geometry/offsets.h"

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
// in several column chunks.
constexpr long long kChunkBlocks = 256;

// Averages every block of block rows [first, last).  Each block row belongs
// to one job, so no two jobs add to the same block.
void average_block_rows(const Frame& src, const MosaicRegion& r, const Span& src_rows,
                        const Span& src_cols, long long block_cols, BlockAverage* table,
                        long long first, long long last) {
    BlockSum sums[kChunkBlocks];
    for (long long br = first; br < last; ++br) {
        const Span rows = Span{br * r.bh, std::min<long long>(r.h, (br + 1) * r.bh)} & src_rows;
        BlockAverage* out = table + br * block_cols;
        for (long long c0 = 0; c0 < block_cols; c0 += kChunkBlocks) {
            const long long c1 = std::min(block_cols, c0 + kChunkBlocks);
            for (long long c = c0; c < c1; ++c) sums[c - c0] = {0, 0, 0};
            for (long long i = rows.begin; i < rows.end; ++i) {
                // Offsets j are counted from the region's left edge, sx.
                const PIXEL_YC* row = src.row(static_cast<int>(r.sy + i));
                for (long long c = c0; c < c1; ++c) {
                    const Span cols = Span{c * r.bw, std::min<long long>(r.w, (c + 1) * r.bw)} & src_cols;
                    std::int64_t y = 0, cb = 0, cr = 0;
                    const PIXEL_YC* p = row + (r.sx + cols.begin);
                    for (long long n = cols.size(); n > 0; --n, ++p) {
                        y += p->y;
                        cb += p->cb;
                        cr += p->cr;
                    }
                    BlockSum& s = sums[c - c0];
                    s.y += y, s.cb += cb, s.cr += cr;
                }
            }
            for (long long c = c0; c < c1; ++c) {
                const Span cols = Span{c * r.bw, std::min<long long>(r.w, (c + 1) * r.bw)} & src_cols;
                const std::int64_t count = rows.size() * cols.size();
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

}  // namespace

bool mosaic(const Frame& src, const Frame& dst, const MosaicRegion& r) {
    if (r.w < 1 || r.h < 1) return true;
    const long long block_cols = (static_cast<long long>(r.w) + r.bw - 1) / r.bw;
    const long long block_rows = (static_cast<long long>(r.h) + r.bh - 1) / r.bh;
    std::unique_ptr<BlockAverage[]> table(new (std::nothrow)
                                              BlockAverage[static_cast<std::size_t>(block_cols * block_rows)]);
    if (!table) return false;

    const Span src_rows = forward_inside(r.h, r.sy, src.max_h);
    const Span src_cols = forward_inside(r.w, r.sx, src.max_w);
    parallel_ranges(static_cast<int>(block_rows), [&](int first, int last) {
        average_block_rows(src, r, src_rows, src_cols, block_cols, table.get(), first, last);
    });

    const Span rows = forward_inside(r.h, r.dy, dst.max_h);
    const Span cols = forward_inside(r.w, r.dx, dst.max_w);
    if (rows.empty() || cols.empty()) return true;
    parallel_rows(static_cast<int>(rows.size()), [&](int k) {
        const long long i = rows.begin + k;
        const BlockAverage* blocks = table.get() + (i / r.bh) * block_cols;
        PIXEL_YC* row = dst.row(static_cast<int>(r.dy + i));
        for (long long c = cols.begin / r.bw; c * r.bw < cols.end; ++c) {
            if (!blocks[c].filled) continue;
            const Span run = Span{c * r.bw, (c + 1) * r.bw} & cols;
            fill_pixels(row + (r.dx + run.begin), static_cast<std::size_t>(run.size()), blocks[c].value);
        }
    });
    return true;
}
