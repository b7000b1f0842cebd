// diffuse: a region scattered like frosted glass.
#pragma once

#include "buffers/areas.h"
#include "buffers/frame.h"

// Each destination pixel of `area` (already clipped to both buffers)
// becomes a randomly picked source pixel at most rx columns and ry rows from
// the corresponding source position, copied unchanged; picks beyond the
// visible picture (pw x ph) fold back into it (before the first column the
// edge column is not repeated, after the last it is).  rx and ry are 0 or
// more.  Every thread draws from its own generator, which is never
// reseeded, so the picture depends on earlier calls and on the thread count
// (the rows are cut into one contiguous share per thread, share t drawing
// from generator t, so not on which thread runs which share).
// When source and destination are one buffer, the picture is read from a
// copy taken first, so no pick sees a pixel this call has written.
void diffuse_region(const Frame& source, const Frame& destination, int pw, int ph,
                    const PairArea& area, int rx, int ry);

// Starts every generator of diffuse again from its first number, as in a
// new process.  Only tests need it: the plug-in never reseeds.
void restart_diffuse_generators();
