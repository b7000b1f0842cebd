// The end of the time the script may spend on the current frame, as seen by
// native work.
//
// The script engine sets it when a frame's script starts and clears it when
// the script returns.  A long native call (a filter over a large frame, a
// big window) looks at it between blocks of rows and stops early once it
// has passed, so that one call cannot hold the frame far beyond its budget;
// the engine then ends the script with its budget error.  Stopping early
// leaves the call's output unfinished, which is what a frame that ran out
// of time gets anyway.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/export.h"

namespace work_deadline {

// Monotonic milliseconds (platform::monotonic_ms) at which the budget ends;
// 0 for no deadline.
void set(std::int64_t monotonic_ms);
std::int64_t get();

// True once a deadline is set and has passed.  Safe from any thread; costs
// one atomic load and, with a deadline set, one clock read.
bool passed();

// Keeps the deadline in `shared` (memory another process maps) from now
// on, so that a host running the plug-in in a worker process can see how
// far the frame's budget reaches; null keeps it here again.
void keep_in(std::atomic<std::int64_t>* shared);

}  // namespace work_deadline

// The plug-in's export for keep_in: `shared` points to a lock-free
// std::atomic<std::int64_t>.
extern "C" QUORVEL_EXPORT void QuorvelShareDeadline(void* shared);
