// The common controller of the row filters (linear, average, median).
//
// Makes the output the input's size and pitches, makes `thread_count`
// workers in one allocation, lets `configure` give each its input, output
// and parameters, and runs them with run_threads.  Worker i takes the output
// rows i, i + n, i + 2n, ... (rows interleaved), or, when it carries work
// from one row to the next, the contiguous band row_band gives; either way it
// reads only the shared input and writes only its own rows, so the workers
// need no lock and the result does not depend on their number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "toolkit/thread.h"

namespace mist {

// Rows [begin, end) of `rows`: worker `index` of `count`'s band.
struct row_range {
    std::size_t begin = 0, end = 0;
};

inline row_range row_band(std::size_t rows, std::uint32_t index, std::uint32_t count) {
    if (count == 0) return {0, rows};
    return {rows * index / count, rows * (index + 1) / count};
}

// False, doing nothing, when the output is the input or the input is empty.
// A thread count of 0 means one worker per processor.
template <class Worker, class In, class Out, class Configure>
bool run_row_filter(const In& in, Out& out, std::uint32_t thread_count, Configure&& configure) {
    if (static_cast<const void*>(&in) == static_cast<const void*>(&out) || in.empty()) return false;
    if (thread_count == 0) thread_count = processor_count();
    out.resize(in.width(), in.height());
    out.pitch_x = in.pitch_x;
    out.pitch_y = in.pitch_y;
    std::unique_ptr<Worker[]> workers(new Worker[thread_count]);
    for (std::uint32_t i = 0; i < thread_count; ++i) {
        workers[i].thread_index = i;
        workers[i].thread_count = thread_count;
        configure(workers[i]);
    }
    run_threads(workers.get(), thread_count);
    return true;
}

}  // namespace mist
