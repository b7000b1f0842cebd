// Moving a mask's grades out of a toolkit work array.
#pragma once

#include "buffers/frame.h"
#include "toolkit/array.h"

// Writes the w x h values of `work` starting at (wx, wy) into the `y` of the
// destination area at (dx, dy); `cb` and `cr` are left alone.  Both
// positions are clipped together, the first to the work array and the second
// to the destination's storage.  Rows run in parallel.
void store_work_y(const mist::array2<short>& work, int wx, int wy, const Frame& destination, int dx,
                  int dy, int w, int h);
