// Fuzzy set operations on masks.  Grades are fractions of 4096 combined in
// 12-bit fixed point with a flooring shift right by 12:
//   not  4096 - a
//   and  (a * b) >> 12
//   or   4096 - (((4096 - a) * (4096 - b)) >> 12)
//   sub  (a * (4096 - b)) >> 12                       (A and not B)
//   xor  (B and not A) or (A and not B), each part as above
// For grades within 0..4096 every result lies within 0..4096.  Results are
// written as mask pixels (kept to 16 bits, cb = cr = 0).  Areas are already
// clipped; the destination may be an operand with the same position.
#pragma once

#include "buffers/areas.h"
#include "buffers/frame.h"
#include "mask/grade.h"

enum class MaskOp { And, Or, Sub, Xor };

// The result grade of `op` on grades a and b.
int mask_combine(MaskOp op, int a, int b);

void mask_not(const Frame& src, const Frame& dst, const PairArea& area);
void mask_logic(MaskOp op, const Frame& a, const Frame& b, const Frame& dst,
                const TripleArea& area);
