// The fuzzy set operations behind mask_not, mask_and, mask_or, mask_sub and
// mask_xor.
#include "mask/mask_logic.h"

#include "buffers/rows.h"

int mask_combine(MaskOp op, int a, int b) {
    // Grades are 16-bit, so the products of and, or and sub fit 32 bits.
    // The second stage of xor multiplies values up to about 3 * 10^5 and is
    // done in 64 bits; wherever 32 bits did not overflow the result is the
    // same.
    switch (op) {
        case MaskOp::And:
            return (a * b) >> 12;
        case MaskOp::Or:
            return 4096 - (((4096 - a) * (4096 - b)) >> 12);
        case MaskOp::Sub:
            return (a * (4096 - b)) >> 12;
        case MaskOp::Xor: {
            const long long u = ((4096 - a) * b) >> 12;
            const long long v = ((4096 - b) * a) >> 12;
            return static_cast<int>(4096 - (((4096 - u) * (4096 - v)) >> 12));
        }
    }
    return 0;
}

void mask_not(const Frame& src, const Frame& dst, const PairArea& area) {
    for_each_pair(src, dst, area,
                  [](const PIXEL_YC& s, PIXEL_YC& d) { put_grade(d, 4096 - s.y); });
}

namespace {

template <MaskOp Op>
void combine_rows(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area) {
    for_each_triple(a, b, dst, area, [](const PIXEL_YC& pa, const PIXEL_YC& pb, PIXEL_YC& d) {
        put_grade(d, mask_combine(Op, pa.y, pb.y));
    });
}

}  // namespace

void mask_logic(MaskOp op, const Frame& a, const Frame& b, const Frame& dst,
                const TripleArea& area) {
    switch (op) {
        case MaskOp::And: return combine_rows<MaskOp::And>(a, b, dst, area);
        case MaskOp::Or: return combine_rows<MaskOp::Or>(a, b, dst, area);
        case MaskOp::Sub: return combine_rows<MaskOp::Sub>(a, b, dst, area);
        case MaskOp::Xor: return combine_rows<MaskOp::Xor>(a, b, dst, area);
    }
}
