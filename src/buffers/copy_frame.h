// Copies a w x h area at (fx, fy) of one frame to (bx, by) of another, both
// positions already clipped.  Rows run in parallel.
#pragma once

#include "buffers/frame.h"

void copy_area(const Frame& from, int fx, int fy, const Frame& to, int bx, int by, int w, int h);
