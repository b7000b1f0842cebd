// The parallel loop over rows that most pixel operations use: OpenMP with a
// static schedule, so each worker gets one contiguous block of rows.  The
// worker count is the one set from the thread-count track.  Rows must write
// disjoint pixels; the body must not throw.
#pragma once

template <class Body>
inline void parallel_rows(int rows, Body&& body) {
#pragma omp parallel for schedule(static)
    for (int i = 0; i < rows; ++i) body(i);
}

// Sets the worker count of later parallel_rows loops.
void set_parallel_workers(int n);
