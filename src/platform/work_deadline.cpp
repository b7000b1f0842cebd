#include "platform/work_deadline.h"

#include <atomic>

#include "platform/system.h"

namespace work_deadline {
namespace {
std::atomic<std::int64_t> deadline{0};
}

void set(std::int64_t monotonic_ms) { deadline.store(monotonic_ms, std::memory_order_relaxed); }

std::int64_t get() { return deadline.load(std::memory_order_relaxed); }

bool passed() {
    const std::int64_t d = deadline.load(std::memory_order_relaxed);
    return d != 0 && platform::monotonic_ms() > d;
}

}  // namespace work_deadline
