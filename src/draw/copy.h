// Copying a rectangle between buffers, everywhere or only where a key value
// is exceeded.  Areas are already clipped; rows run in parallel.
//
//   copy_keyed   D = S where S.y > key (strictly)
//   copy_masked  D = S where M.y > key, M read at the mask position
// The unconditional copy is copy_area of buffers/copy_frame.h.
#pragma once

#include "buffers/areas.h"
#include "buffers/frame.h"

void copy_keyed(const Frame& src, const Frame& dst, const PairArea& area, int key);
void copy_masked(const Frame& src, const Frame& dst, const Frame& mask, const MaskedArea& area,
                 int key);
