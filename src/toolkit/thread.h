// mist worker threads: thread_object, thread<T> and run_threads.
//
// A toolkit filter splits its image among `thread_count` workers of one
// class.  run_threads runs worker 0 in the calling thread and workers
// 1..n-1 each on its own thread of the plug-in's pool, and returns when all
// have finished, so no work outlives the call.  The pool's threads are
// started once and kept, so a call pays no thread start-up.
//
// A worker's create/wait/close are the single-worker form of the same: its
// body runs as a pool task, holding the worker's lock while it runs; close()
// waits for the body's end and then takes and releases the lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/thread_pool.h"

namespace mist {

// Wait time meaning "no time-out".
constexpr std::uint32_t infinite_wait = 0xFFFFFFFFu;

// Processors the system reports; 1 when it cannot tell.
inline unsigned processor_count() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

// The abstract interface of a worker thread.
struct thread_object {
    virtual bool create() = 0;
    virtual bool wait(std::uint32_t milliseconds) = 0;
    virtual bool close() = 0;
    virtual ~thread_object() = default;
};

// The worker-thread implementation; T is the derived worker class.  A worker
// goes: constructed (no handle) -> running (handle held, body holds the lock)
// -> finished (lock free, handle still held) -> closed (handle released).
template <class T>
class thread : public thread_object {
public:
    thread() = default;
    thread(const thread&) = delete;
    thread& operator=(const thread&) = delete;

    ~thread() override { close(); }

    // Starts the body on a pool thread; false when a handle is already held
    // (the running body is left alone) or no thread could be had.
    bool create() override {
        if (task_.started()) return false;
        if (!task_.start(&thread::task_procedure, this)) return false;
        thread_id_ = next_thread_id();
        return true;
    }

    // Waits at most `milliseconds` (infinite_wait: until the body ends).  A
    // time-out is not a failure; false only for a wait from the body itself,
    // which could never end.
    bool wait(std::uint32_t milliseconds) override {
        if (!task_.started()) return true;
        if (running_on_.load() == std::this_thread::get_id()) return false;
        task_.wait(milliseconds == infinite_wait ? -1 : static_cast<long long>(milliseconds));
        return true;
    }

    // Waits for the body to end, confirms it through the lock, and releases
    // the handle.  True with no handle.
    bool close() override {
        if (!task_.started()) return true;
        task_.wait();
        lock_.lock();
        lock_.unlock();
        task_.release();
        thread_id_ = 0xFFFFFFFFu;
        return true;
    }

    // Runs the body in the calling thread.
    virtual bool run_here() {
        result_ = thread_function();
        return true;
    }

    // Runs the body as a thread of its own would, on the calling (pool)
    // thread: under the worker's lock.
    void run_as_thread() {
        std::lock_guard<std::mutex> hold(lock_);
        running_on_.store(std::this_thread::get_id());
        result_ = thread_function();
        running_on_.store(std::thread::id());
    }

    std::uint32_t result() const { return result_; }
    std::uint32_t thread_id() const { return thread_id_; }
    bool has_handle() const { return task_.started(); }

    std::uint32_t thread_index = 0;  // this worker's number among its siblings
    std::uint32_t thread_count = 1;  // number of siblings

protected:
    virtual std::uint32_t thread_function() = 0;

private:
    static void task_procedure(void* self) { static_cast<thread*>(self)->run_as_thread(); }

    static std::uint32_t next_thread_id() {
        static std::atomic<std::uint32_t> counter{1};
        return counter.fetch_add(1);
    }

    pool::Task task_;
    std::uint32_t thread_id_ = 0xFFFFFFFFu;
    std::mutex lock_;
    std::uint32_t result_ = 0;
    std::atomic<std::thread::id> running_on_{};
};

// Runs `count` workers: 0 in the calling thread, 1..count-1 each on its own
// pool thread, and returns when all have finished.  Always true: a worker
// for which the system gives no thread runs in the calling thread instead.
template <class Worker>
bool run_threads(Worker* workers, std::uint32_t count) {
    if (count == 0) return true;
    pool::run_jobs(static_cast<int>(count), [workers](int k) {
        if (k == 0)
            workers[0].run_here();
        else
            workers[k].run_as_thread();
    });
    return true;
}

}  // namespace mist
