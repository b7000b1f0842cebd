#include "platform/work_deadline.h"

#include <atomic>

#include "platform/export.h"
#include "platform/system.h"

namespace work_deadline {
namespace {
std::atomic<std::int64_t> own{0};
// Where the deadline is kept: here, or in memory shared with a host.
std::atomic<std::atomic<std::int64_t>*> place{&own};
}  // namespace

void set(std::int64_t monotonic_ms) {
    place.load(std::memory_order_acquire)->store(monotonic_ms, std::memory_order_relaxed);
}

std::int64_t get() {
    return place.load(std::memory_order_acquire)->load(std::memory_order_relaxed);
}

bool passed() {
    const std::int64_t d = get();
    return d != 0 && platform::monotonic_ms() > d;
}

void keep_in(std::atomic<std::int64_t>* shared) {
    std::atomic<std::int64_t>* target = shared != nullptr ? shared : &own;
    target->store(get(), std::memory_order_relaxed);
    place.store(target, std::memory_order_release);
}

}  // namespace work_deadline

extern "C" QUORVEL_EXPORT void QuorvelShareDeadline(void* shared) {
    work_deadline::keep_in(static_cast<std::atomic<std::int64_t>*>(shared));
}
