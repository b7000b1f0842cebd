#include "platform/thread_pool.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace pool {
namespace {

thread_local bool inside_pool = false;

// Counts the jobs of one run_jobs call down to zero.  The last job's
// decrement and the caller's check happen under the mutex, so the caller
// cannot return (and free the latch) while a job still touches it.
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
// offer (run_shared) clears it first, so every assignment runs at most once.
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
    void (*task_fn)(void*) = nullptr;
    Task* task = nullptr;
};

// Tasks report their end through one condition variable: a task object may
// be destroyed as soon as its waiter sees it finished, so nothing of it is
// touched after the flag is set under this mutex.
std::mutex task_mutex;
std::condition_variable task_cv;

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

    void run_jobs(int count, JobFunction job, void* context) {
        if (count <= 0) return;
        if (count == 1 || inside_pool) {
            for (int k = 0; k < count; ++k) job(context, k);
            return;
        }
        Latch latch;
        latch.remaining = count - 1;
        int handed = 1;
        {
            std::lock_guard<std::mutex> hold(m_);
            for (; handed < count; ++handed) {
                Worker* w = take_idle();
                if (w == nullptr) break;
                assign(*w, job, context, handed, &latch);
            }
        }
        // Jobs that found no thread (the system refused one) run here.
        for (int k = handed; k < count; ++k) {
            job(context, k);
            latch.count_down();
        }
        job(context, 0);
        latch.wait();
    }

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

    bool start_task(Task* task, void (*fn)(void*), void* context) {
        std::lock_guard<std::mutex> hold(m_);
        Worker* w = take_idle();
        if (w == nullptr) return false;
        w->job = nullptr;
        w->latch = nullptr;
        w->task_fn = fn;
        w->context = context;
        w->task = task;
        w->pending = true;
        wake(*w);
        return true;
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
        w.task_fn = nullptr;
        w.task = nullptr;
        w.pending = true;
        wake(w);
    }

    // An idle worker marked busy, or a new one; null when none can be
    // started.  Called with the mutex held.
    Worker* take_idle(bool may_start = true) {
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
            void (*task_fn)(void*);
            Task* task;
            {
                std::lock_guard<std::mutex> hold(m_);
                if (w->stop) return;
                // A withdrawn offer, or an assignment already taken up on an
                // earlier wake: nothing to do.
                if (!w->pending) continue;
                w->pending = false;
                job = w->job, context = w->context, index = w->index, latch = w->latch;
                task_fn = w->task_fn, task = w->task;
            }
            if (job != nullptr)
                job(context, index);
            else if (task_fn != nullptr)
                task_fn(context);
            // Idle again before the end is reported, so a caller that
            // immediately hands out more work finds this thread free.
            {
                std::lock_guard<std::mutex> hold(m_);
                w->idle = true;
            }
            if (latch != nullptr) latch->count_down();
            if (task != nullptr) task->mark_done();
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

}  // namespace

void set_worker_count(int n) { the_pool().set_worker_count(n); }
int worker_count() { return the_pool().worker_count(); }
void run_jobs(int count, JobFunction job, void* context) {
    the_pool().run_jobs(count, job, context);
}
void run_shared(int helpers, JobFunction job, void* context) {
    the_pool().run_shared(helpers, job, context);
}
bool on_pool_thread() { return inside_pool; }
void shut_down() { the_pool().shut_down(); }

bool Task::start(void (*fn)(void*), void* context) {
    if (started_) return false;
    done_.store(0, std::memory_order_relaxed);
    if (!the_pool().start_task(this, fn, context)) {
        done_.store(1, std::memory_order_relaxed);
        return false;
    }
    started_ = true;
    return true;
}

void Task::mark_done() {
    std::lock_guard<std::mutex> hold(task_mutex);
    done_.store(1, std::memory_order_release);
    task_cv.notify_all();
}

bool Task::wait(long long milliseconds) {
    if (!started_) return true;
    std::unique_lock<std::mutex> hold(task_mutex);
    auto done = [this] { return done_.load(std::memory_order_acquire) != 0; };
    if (milliseconds < 0) {
        task_cv.wait(hold, done);
        return true;
    }
    return task_cv.wait_for(hold, std::chrono::milliseconds(milliseconds), done);
}

}  // namespace pool
