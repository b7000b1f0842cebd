// The former toolkit worker: a class whose thread_function() is run for
// each of `thread_count` workers.  Kept only until the labelling strips
// move to the pool's range call (pool::parallel_for); nothing else may use
// it.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/thread_pool.h"

namespace mist {

template <class T>
class thread {
public:
    virtual ~thread() = default;
    bool run_here() {
        thread_function();
        return true;
    }
    std::uint32_t thread_index = 0;
    std::uint32_t thread_count = 1;

protected:
    virtual std::uint32_t thread_function() = 0;
};

// Runs every worker once, each in a share of its own.  A worker the work
// deadline would skip runs here afterwards: the labelling reads what every
// strip wrote.
template <class Worker>
bool run_threads(Worker* workers, std::uint32_t count) {
    if (count == 0) return true;
    std::unique_ptr<bool[]> ran(new bool[count]());
    const pool::Split split{.jobs = static_cast<int>(count), .grain = 1, .shares = true};
    pool::parallel_for(static_cast<int>(count), split, [&](const pool::Range& r) {
        for (int i = r.begin; i < r.end; ++i) {
            workers[i].run_here();
            ran[i] = true;
        }
    });
    for (std::uint32_t i = 0; i < count; ++i)
        if (!ran[i]) workers[i].run_here();
    return true;
}

}  // namespace mist
