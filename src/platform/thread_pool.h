// The one set of worker threads of the plug-in.
//
// Every parallel piece of work, the row loops of the pixel functions and the
// toolkit's filter workers alike, runs on these threads, which are started
// once and kept: no call pays for starting a thread.  Idle threads sleep on
// a futex-style wait; nothing spins while it waits.
//
// run_jobs hands job 1..n-1 to n-1 distinct pool threads and runs job 0 in
// the calling thread, then sleeps until all have finished.  A call made from
// inside a pool job runs its jobs one after the other in that thread, so
// nested parallel loops cannot exhaust or deadlock the pool.  The pool grows
// when more jobs are asked for at once than it has idle threads.
#pragma once

#include <atomic>
#include <cstdint>

namespace pool {

// The worker count of the row loops (the calling thread included), 1..64;
// the thread-count track sets it.  Threads for it are started at once.
void set_worker_count(int n);
int worker_count();

// A job body: a plain function with a context pointer, so handing work over
// allocates nothing.
using JobFunction = void (*)(void* context, int job);

// Runs job(context, k) for k = 0..count-1, job 0 in the calling thread, the
// others each on its own pool thread; returns when every job has returned.
// Jobs must not throw.
void run_jobs(int count, JobFunction job, void* context);

// The same for any callable `job(int k)`.
template <class Job>
void run_jobs(int count, Job&& job) {
    run_jobs(
        count, [](void* c, int k) { (*static_cast<Job*>(c))(k); },
        const_cast<void*>(static_cast<const void*>(&job)));
}

// For work that the job shares out itself, each call taking pieces until
// none are left: runs job(context, 0) in the calling thread and offers
// job(context, k), k = 1..helpers, to idle pool threads.  When the calling
// thread's call returns, every offer that no thread has taken up yet is
// withdrawn, so on a busy machine the caller never waits for a thread the
// system has not yet scheduled; it waits only for helpers already at work.
// A helper may therefore run or not: the job must not depend on it.
void run_shared(int helpers, JobFunction job, void* context);

template <class Job>
void run_shared(int helpers, Job&& job) {
    run_shared(
        helpers, [](void* c, int k) { (*static_cast<Job*>(c))(k); },
        const_cast<void*>(static_cast<const void*>(&job)));
}

// One asynchronous task on a pool thread, for work whose start and end are
// separate steps (the toolkit's thread objects).  Not copyable: the pool
// writes into it until it is finished.
class Task {
public:
    Task() = default;
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    ~Task() { wait(); }

    // Starts fn(context) on an idle pool thread (a new one when none is
    // idle); false when a task is still held or no thread could be started.
    bool start(void (*fn)(void*), void* context);

    // Sleeps until the task has finished or `milliseconds` have passed
    // (negative: no limit); true when it has finished or none was started.
    bool wait(long long milliseconds = -1);

    // Forgets a finished task so that the object can start another.
    void release() { started_ = false; }

    bool started() const { return started_; }
    bool finished() const { return done_.load(std::memory_order_acquire) != 0; }

    // Called by the pool thread when fn has returned.
    void mark_done();

private:
    std::atomic<std::uint32_t> done_{1};
    bool started_ = false;
};

// True on a pool thread (inside a job or task).
bool on_pool_thread();

// Ends every pool thread (they finish their current work first).  Called
// when the plug-in is unloaded; a later use starts threads again.
void shut_down();

}  // namespace pool
