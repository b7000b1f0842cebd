#include "platform/thread_pool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/work_deadline.h"

namespace pool {
namespace {

thread_local bool inside_pool = false;

// One job of a call: job(context, k), k = 0 in the calling thread.
using JobFunction = void (*)(void* context, int job);

// Counts the helpers of one call down to zero.  The last helper's
// decrement and the caller's check happen under the mutex, so the caller
// cannot return (and free the latch) while a helper still touches it.
struct Latch {
    std::mutex m;
    std::condition_variable cv;
    int remaining = 0;

    void count_down(int n = 1) {
        std::lock_guard<std::mutex> hold(m);
        remaining -= n;
        if (remaining == 0) cv.notify_all();
    }
    void wait() {
        std::unique_lock<std::mutex> hold(m);
        cv.wait(hold, [this] { return remaining == 0; });
    }
};

// The counter a worker sleeps on until work is posted.  On Linux the atomic's
// own wait (a futex).  Elsewhere libstdc++ 12 emulates that wait with a
// shared table of condition variables and spinning; the Windows build has
// each worker sleep on a condition variable of its own instead.
#ifdef _WIN32
class Mailbox {
public:
    void post() {
        {
            std::lock_guard<std::mutex> hold(m_);
            count_.fetch_add(1, std::memory_order_release);
        }
        cv_.notify_one();
    }
    void wait(std::uint32_t seen) {
        std::unique_lock<std::mutex> hold(m_);
        cv_.wait(hold, [&] { return count_.load(std::memory_order_acquire) != seen; });
    }
    std::uint32_t load() const { return count_.load(std::memory_order_acquire); }

private:
    std::atomic<std::uint32_t> count_{0};
    std::mutex m_;
    std::condition_variable cv_;
};
#else
class Mailbox {
public:
    void post() {
        count_.fetch_add(1, std::memory_order_release);
        count_.notify_one();
    }
    void wait(std::uint32_t seen) { count_.wait(seen, std::memory_order_acquire); }
    std::uint32_t load() const { return count_.load(std::memory_order_acquire); }

private:
    std::atomic<std::uint32_t> count_{0};
};
#endif

// One pool thread.  The assignment fields are written by the assigning
// thread while the worker is idle, then published by bumping `mailbox`,
// on which the worker sleeps.  `pending` marks an assignment not yet taken
// up; the worker clears it when it takes the assignment, and a withdrawn
// offer clears it first, so every assignment runs at most once.
struct Worker {
    std::thread thread;
    Mailbox mailbox;
    bool idle = true;  // this and the fields below guarded by the pool mutex
    bool pending = false;
    bool stop = false;
    JobFunction job = nullptr;
    void* context = nullptr;
    int index = 0;
    Latch* latch = nullptr;
};

class Pool {
public:
#ifdef _WIN32
    // This runs when the plug-in is unloaded, while Windows holds the loader
    // lock, which a thread needs in order to end: joining would never
    // return.  func_exit has stopped the threads already; any still here
    // sleep on and are let go, with their records.
    ~Pool() {
        for (auto& w : workers_) {
            w->thread.detach();
            static_cast<void>(w.release());
        }
    }
#else
    ~Pool() { shut_down(); }
#endif

    void set_worker_count(int n) {
        n = std::clamp(n, 1, 64);
        count_.store(n, std::memory_order_relaxed);
        // Start the threads now so the first frame does not pay for them.
        std::lock_guard<std::mutex> hold(m_);
        while (static_cast<int>(workers_.size()) < n - 1)
            if (spawn() == nullptr) break;
    }

    int worker_count() const { return count_.load(std::memory_order_relaxed); }

    // Runs job(context, 0) in the calling thread and offers job(context, k),
    // k = 1..helpers, to idle pool threads.  When the calling thread's call
    // returns, every offer that no thread has taken up yet is withdrawn, so
    // on a busy machine the caller never waits for a thread the system has
    // not yet scheduled; it waits only for helpers already at work.  A
    // helper may therefore run or not: the job shares the work out itself.
    void run_shared(int helpers, JobFunction job, void* context) {
        helpers = std::min(helpers, kMaxHelpers);
        if (helpers <= 0 || inside_pool) {
            job(context, 0);
            return;
        }
        Latch latch;
        latch.remaining = helpers;  // before any helper can count down
        Worker* offered[kMaxHelpers];
        int count = 0;
        {
            std::lock_guard<std::mutex> hold(m_);
            for (; count < helpers; ++count) {
                // Helpers are optional: start no thread beyond the worker
                // count for them.
                const bool may_start = static_cast<int>(workers_.size()) < worker_count() - 1;
                Worker* w = take_idle(may_start);
                if (w == nullptr) break;
                assign(*w, job, context, count + 1, &latch);
                offered[count] = w;
            }
        }
        if (count < helpers) latch.count_down(helpers - count);
        job(context, 0);
        int withdrawn = 0;
        {
            std::lock_guard<std::mutex> hold(m_);
            for (int k = 0; k < count; ++k)
                if (offered[k]->pending) {
                    offered[k]->pending = false;
                    offered[k]->idle = true;
                    ++withdrawn;
                }
        }
        if (withdrawn > 0) latch.count_down(withdrawn);
        latch.wait();
    }

    void shut_down() {
        std::vector<std::unique_ptr<Worker>> ending;
        {
            std::lock_guard<std::mutex> hold(m_);
            ending.swap(workers_);
            for (auto& w : ending) {
                w->stop = true;
                wake(*w);
            }
        }
        for (auto& w : ending)
            if (w->thread.joinable()) w->thread.join();
    }

private:
    static constexpr int kMaxHelpers = 63;

    // Hands job `index` to an idle worker and wakes it.  Called with the
    // mutex held.
    static void assign(Worker& w, JobFunction job, void* context, int index, Latch* latch) {
        w.job = job;
        w.context = context;
        w.index = index;
        w.latch = latch;
        w.pending = true;
        wake(w);
    }

    // An idle worker marked busy, or a new one; null when none can be
    // started.  Called with the mutex held.
    Worker* take_idle(bool may_start) {
        for (auto& w : workers_)
            if (w->idle) {
                w->idle = false;
                return w.get();
            }
        if (!may_start) return nullptr;
        Worker* w = spawn();
        if (w != nullptr) w->idle = false;
        return w;
    }

    Worker* spawn() {
        auto w = std::make_unique<Worker>();
        try {
            w->thread = std::thread(&Pool::loop, this, w.get());
        } catch (const std::system_error&) {
            return nullptr;
        }
        workers_.push_back(std::move(w));
        return workers_.back().get();
    }

    static void wake(Worker& w) { w.mailbox.post(); }

    void loop(Worker* w) {
        inside_pool = true;
        std::uint32_t seen = 0;
        for (;;) {
            w->mailbox.wait(seen);
            seen = w->mailbox.load();
            JobFunction job;
            void* context;
            int index;
            Latch* latch;
            {
                std::lock_guard<std::mutex> hold(m_);
                if (w->stop) return;
                // A withdrawn offer, or an assignment already taken up on an
                // earlier wake: nothing to do.
                if (!w->pending) continue;
                w->pending = false;
                job = w->job, context = w->context, index = w->index, latch = w->latch;
            }
            job(context, index);
            // Idle again before the end is reported, so a caller that
            // immediately hands out more work finds this thread free.
            {
                std::lock_guard<std::mutex> hold(m_);
                w->idle = true;
            }
            latch->count_down();
        }
    }

    std::mutex m_;
    std::vector<std::unique_ptr<Worker>> workers_;
    std::atomic<int> count_{
        static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 64u))};
};

Pool& the_pool() {
    static Pool pool;
    return pool;
}

// Blocks per job: enough that a job slowed down by other work on the
// machine leaves little for the others to wait on, few enough that taking
// a block (an atomic add and a look at the deadline) costs nothing beside
// its items.
constexpr long long kBlocksPerJob = 8;

// The work of a block whose items' cost is known: a few milliseconds of
// simple operations, well within what the deadline may be overrun by.
constexpr double kBlockWork = 8e6;

constexpr int kMaxJobs = 64;

struct Plan {
    int jobs = 1;
    int block = 1;  // items per block
};

Plan plan_of(int count, const Split& split) {
    Plan p;
    if (count <= 0) return p;
    const int grain = std::max(split.grain, 1);
    p.jobs = std::clamp(split.jobs > 0 ? split.jobs : worker_count(), 1, kMaxJobs);
    p.jobs = std::min(p.jobs, std::max(1, count / grain));
    long long block = (count + kBlocksPerJob * p.jobs - 1) / (kBlocksPerJob * p.jobs);
    block = std::max<long long>(block, grain);
    if (split.cost > 0)
        block = std::min(block, std::max(1LL, static_cast<long long>(kBlockWork / split.cost)));
    p.block = static_cast<int>(block);
    return p;
}

// One range call in progress, shared by its jobs.
struct Call {
    int count;
    Plan plan;
    bool shares;
    RangeFunction body;
    void* context;
    std::atomic<long long> next{0};  // the next block's first item, or the next share
    std::atomic<bool> stopped{false};

    // True when the deadline has passed: the call then hands out nothing
    // more.
    bool out_of_time() {
        if (stopped.load(std::memory_order_relaxed)) return true;
        if (!work_deadline::passed()) return false;
        stopped.store(true, std::memory_order_relaxed);
        return true;
    }

    // Blocks taken in turn; the slot is the job.
    void run_blocks(int job) {
        long long last_end = -1;
        for (;;) {
            const long long begin = next.fetch_add(plan.block, std::memory_order_relaxed);
            if (begin >= count || out_of_time()) return;
            const long long end = std::min<long long>(count, begin + plan.block);
            body(context,
                 Range{static_cast<int>(begin), static_cast<int>(end), job, begin == last_end});
            last_end = end;
        }
    }

    // Whole shares taken in turn, each in blocks in order; the slot is the
    // share.
    void run_shares() {
        for (;;) {
            const long long share = next.fetch_add(1, std::memory_order_relaxed);
            if (share >= plan.jobs) return;
            const long long first = count * share / plan.jobs;
            const long long last = count * (share + 1) / plan.jobs;
            for (long long begin = first; begin < last; begin += plan.block) {
                if (out_of_time()) return;
                const long long end = std::min(last, begin + plan.block);
                body(context, Range{static_cast<int>(begin), static_cast<int>(end),
                                    static_cast<int>(share), begin != first});
            }
        }
    }
};

void run_job(void* context, int job) {
    Call& call = *static_cast<Call*>(context);
    if (call.shares)
        call.run_shares();
    else
        call.run_blocks(job);
}

}  // namespace

int slots(int count, const Split& split) { return plan_of(count, split).jobs; }

int largest_range(int count, const Split& split) {
    return std::min(std::max(count, 0), plan_of(count, split).block);
}

bool run_ranges(int count, const Split& split, RangeFunction body, void* context) {
    if (count <= 0) return true;
    Call call{count, plan_of(count, split), split.shares, body, context};
    the_pool().run_shared(call.plan.jobs - 1, &run_job, &call);
    return !call.stopped.load(std::memory_order_relaxed);
}

void set_worker_count(int n) { the_pool().set_worker_count(n); }
int worker_count() { return the_pool().worker_count(); }
bool on_pool_thread() { return inside_pool; }
void shut_down() { the_pool().shut_down(); }

}  // namespace pool
