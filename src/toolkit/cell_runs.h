// The runs of foreground cells of one row of a 16-bit plane, found with
// vector code compiled once per instruction set and chosen at run time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "toolkit/labeling_strips.h"

namespace toolkit {

// Writes the runs [x0, x1) of foreground cells of row[0..w) from left to
// right as bounds[0] = x0, bounds[1] = x1, bounds[2] = next x0, ..., and
// returns their count.  bounds has room for w + 1 values (a row has at most
// (w + 1) / 2 runs).
std::size_t cell_runs(const short* row, std::size_t w, foreground_cells rule,
                      std::uint32_t* bounds);

}  // namespace toolkit
