// The one set of worker threads of the plug-in, and the one way to use it.
//
// Every parallel piece of work, the row loops of the pixel functions and the
// toolkit's filters alike, is a range call: parallel_for(count, split, body)
// cuts the items 0..count-1 (rows, mostly) into ranges and calls
// body(range) for each, in the calling thread and on the pool's threads,
// each call working out its own rows from the range it is given (as
// OpenCV's parallel_for_ or libavfilter's execute do).  The threads are
// started once and kept, so no call pays for starting one; idle threads
// sleep on a futex-style wait and nothing spins while it waits.
//
// How the items are cut (Split):
//  - blocks (the default): ranges of a few rows that the calling thread
//    and the pool's threads take in turn until none are left.  A thread
//    the system runs late, on a busy machine, takes fewer blocks, and one
//    that has not started when the blocks run out is not waited for.  A
//    range's `slot` (0 .. slots(count, split) - 1) is the index of the job
//    running it, which no other range of the same call running at the same
//    time has: bodies index their scratch space by it.
//  - shares: one contiguous share of the items per job, share k =
//    [count k / n, count (k + 1) / n), handed to the body in blocks in
//    order, by one thread, with `slot` = k: the static schedule, for work
//    whose result depends on which items go together (diffuse's random
//    sequences, one per share).
//
// `continues` is set when the range starts where the previous range of the
// same slot in the same call ended (always, within a share after its
// first block): a body that carries work from row to row may go on from
// where it was instead of starting again.
//
// The time budget: before every block the call looks at work_deadline; once
// the deadline has passed it hands out no more blocks and returns false,
// leaving the rest of the items undone.  Blocks are small enough for a
// long call to notice within a few milliseconds (see Split::cost).
//
// A call made from inside a range body runs all of its ranges in that
// thread, so nested loops can neither exhaust nor deadlock the pool.
// Bodies must not throw.
#pragma once

#include <cstdint>

namespace pool {

// The worker count of the range calls (the calling thread included), 1..64;
// the thread-count track sets it.  Threads for it are started at once.
void set_worker_count(int n);
int worker_count();

// Items [begin, end) of a range call.
struct Range {
    int begin = 0, end = 0;
    int slot = 0;            // the job (blocks) or the share (shares) running it
    bool continues = false;  // the same slot's previous range ended at begin
};

struct Split {
    // The most jobs at once (the calling thread included); 0 means the
    // worker count.  Never more than the items allow (count / grain).
    int jobs = 0;
    // The fewest items in a block: splitting finer costs more than it
    // saves (or, for a body that reads ahead, repeats too much).
    int grain = 4;
    // The rough cost of one item in elementary operations.  When given,
    // no block holds more than a few milliseconds of work, down to one item
    // a block whatever the grain, so that the deadline is seen soon even
    // when items are dear.
    double cost = 0;
    // One contiguous share per job instead of blocks taken in turn.
    bool shares = false;
};

// The number of distinct slots a call with these arguments uses: the jobs
// it runs (at least 1).  Scratch kept per slot needs this many.
int slots(int count, const Split& split = Split{});

// The most items one range of such a call holds, for scratch sized by the
// range.
int largest_range(int count, const Split& split = Split{});

// A range body behind a plain function and a context pointer, so handing
// work over allocates nothing.
using RangeFunction = void (*)(void* context, const Range& range);

// Calls body(context, range) for ranges covering 0..count-1 once each, as
// `split` says; returns when every range that was started has returned.
// True when all items were done, false when the work deadline stopped it.
bool run_ranges(int count, const Split& split, RangeFunction body, void* context);

// The same for any callable body(const Range&).
template <class Body>
bool parallel_for(int count, const Split& split, Body&& body) {
    return run_ranges(
        count, split, [](void* c, const Range& r) { (*static_cast<Body*>(c))(r); },
        const_cast<void*>(static_cast<const void*>(&body)));
}

template <class Body>
bool parallel_for(int count, Body&& body) {
    return parallel_for(count, Split{}, static_cast<Body&&>(body));
}

// True on a pool thread (inside a range body).
bool on_pool_thread();

// Ends every pool thread (they finish their current work first).  Called
// when the plug-in is unloaded; a later use starts threads again.
void shut_down();

}  // namespace pool
