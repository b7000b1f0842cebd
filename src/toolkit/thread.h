// mist worker threads: thread_object, thread<T> and run_threads.
//
// A toolkit filter splits its image among `thread_count` workers of one
// class.  run_threads starts an operating-system thread for workers 1..n-1,
// runs worker 0 in the calling thread, then waits for and closes the others,
// so no thread outlives the call.  Each worker's lock is held by its own
// thread while the body runs; close() uses it to learn that the body has
// ended.  The platform pieces are std::thread, std::mutex (try_lock) and
// std::thread::hardware_concurrency.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>

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

    // Starts the body on a new thread; false when a thread is already held
    // (the running one is left alone) or none could be started.
    bool create() override {
        if (has_handle_) return false;
        finished_.store(false);
        try {
            handle_ = std::thread(&thread::thread_procedure, this);
        } catch (const std::system_error&) {
            return false;
        }
        has_handle_ = true;
        thread_id_ = next_thread_id();
        return true;
    }

    // Waits at most `milliseconds` (infinite_wait: until the body ends).
    // A time-out is not a failure; false only when there is nothing that can
    // be waited on correctly (a wait from the worker's own thread).
    bool wait(std::uint32_t milliseconds) override {
        if (!has_handle_) return true;
        if (handle_.get_id() == std::this_thread::get_id()) return false;
        if (milliseconds == infinite_wait) {
            if (handle_.joinable()) handle_.join();
            return true;
        }
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (!finished_.load() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        return true;
    }

    // Releases the thread: waits for the body to end by retrying a
    // non-blocking acquire of the lock, then joins.  The finished flag
    // covers a thread that has not yet taken its lock.  True with no handle.
    bool close() override {
        if (!has_handle_) return true;
        while (!finished_.load() || !lock_.try_lock()) std::this_thread::yield();
        lock_.unlock();
        if (handle_.joinable()) handle_.join();
        has_handle_ = false;
        thread_id_ = 0xFFFFFFFFu;
        return true;
    }

    // Runs the body in the calling thread.
    virtual bool run_here() {
        result_ = thread_function();
        return true;
    }

    std::uint32_t result() const { return result_; }
    std::uint32_t thread_id() const { return thread_id_; }
    bool has_handle() const { return has_handle_; }

    std::uint32_t thread_index = 0;  // this worker's number among its siblings
    std::uint32_t thread_count = 1;  // number of siblings

protected:
    virtual std::uint32_t thread_function() = 0;

private:
    void thread_procedure() {
        {
            std::lock_guard<std::mutex> hold(lock_);
            result_ = thread_function();
        }
        // Set after the lock is free: close() may then take it at once.
        finished_.store(true);
    }

    static std::uint32_t next_thread_id() {
        static std::atomic<std::uint32_t> counter{1};
        return counter.fetch_add(1);
    }

    std::thread handle_;
    bool has_handle_ = false;
    std::uint32_t thread_id_ = 0xFFFFFFFFu;
    std::mutex lock_;
    std::uint32_t result_ = 0;
    std::atomic<bool> finished_{false};
};

// Runs `count` workers: 1..count-1 on their own threads, 0 in the calling
// thread, then waits for and closes the others.  False when a thread could
// not be started, waited for or closed; a worker that could not be started
// does not run, so its rows keep what the output held.
template <class Worker>
bool run_threads(Worker* workers, std::uint32_t count) {
    bool result = true;
    for (std::uint32_t i = 1; i < count; ++i)
        if (!workers[i].create()) result = false;
    if (count >= 1) workers[0].run_here();
    if (count <= 1) return result;
    for (std::uint32_t i = 1; i < count; ++i)
        if (!workers[i].wait(infinite_wait)) result = false;
    for (std::uint32_t i = 1; i < count; ++i)
        if (!workers[i].close()) result = false;
    return result;
}

}  // namespace mist
