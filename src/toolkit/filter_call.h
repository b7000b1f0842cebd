// What every toolkit filter call does before its rows run.
//
// A filter reads an input array and writes an output array of the same
// size, its rows shared out by the pool's range call (pool::parallel_for):
// each range body computes the output rows of its range and writes only
// those, reading the shared input and parameters, so the bodies need no lock
// and the result does not depend on how the rows were cut.  Scratch space
// is kept per slot (pool::slots of the call).
#pragma once

#include <cstdint>
#include <thread>

#include "platform/thread_pool.h"

namespace toolkit {

// Processors the system reports; 1 when it cannot tell.
inline unsigned processor_count() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

// The jobs of a call given `thread_count` workers; 0 means one per
// processor.
inline int filter_jobs(std::uint32_t thread_count) {
    const unsigned n = thread_count == 0 ? processor_count() : thread_count;
    return static_cast<int>(n > 64 ? 64 : n);
}

// False, doing nothing, when the output is the input or the input is
// empty; otherwise makes the output the input's size and pitches.
template <class In, class Out>
bool prepare_output(const In& in, Out& out) {
    if (static_cast<const void*>(&in) == static_cast<const void*>(&out) || in.empty()) return false;
    out.resize(in.width(), in.height());
    out.pitch_x = in.pitch_x;
    out.pitch_y = in.pitch_y;
    return true;
}

}  // namespace toolkit
