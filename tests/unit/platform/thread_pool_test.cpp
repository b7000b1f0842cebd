// The pool's range call: every item once, slots that are never shared at
// once, the static shares, `continues`, nesting, and the work deadline.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/system.h"
#include "platform/thread_pool.h"
#include "platform/work_deadline.h"

namespace {

// Sets the worker count for one test and puts the old one back.
class Workers {
public:
    explicit Workers(int n) : saved_(pool::worker_count()) { pool::set_worker_count(n); }
    ~Workers() { pool::set_worker_count(saved_); }

private:
    int saved_;
};

// Clears the deadline however a test ends.
struct DeadlineReset {
    ~DeadlineReset() { work_deadline::set(0); }
};

const pool::Split kSplits[] = {
    {},                                       // blocks of at least 4
    {.grain = 1},                             // single items allowed
    {.jobs = 3, .grain = 1, .cost = 1e9},     // dear items: one a block
    {.grain = 1, .shares = true},             // the static schedule
    {.jobs = 5, .grain = 2, .shares = true},  // more shares than workers
    {.jobs = 1, .grain = 100},                // one job
};

}  // namespace

TEST(RangeCall, EveryItemOnceInRangesNoLargerThanAnnounced) {
    for (int workers : {1, 2, 3, 16}) {
        Workers w(workers);
        for (const pool::Split& split : kSplits)
            for (int count : {0, 1, 5, 97, 4000}) {
                std::vector<std::atomic<int>> hits(static_cast<std::size_t>(count));
                std::atomic<bool> too_large{false};
                const int largest = pool::largest_range(count, split);
                EXPECT_TRUE(pool::parallel_for(count, split, [&](const pool::Range& r) {
                    if (r.end - r.begin > largest || r.begin >= r.end) too_large = true;
                    for (int i = r.begin; i < r.end; ++i) ++hits[static_cast<std::size_t>(i)];
                }));
                EXPECT_FALSE(too_large) << workers << " workers, " << count << " items";
                for (auto& h : hits)
                    ASSERT_EQ(h.load(), 1) << workers << " workers, " << count << " items";
            }
    }
}

// Scratch kept per slot is never used by two ranges at once: each range
// marks its slot busy while it runs, and the slot stays in range.
TEST(RangeCall, SlotsAreInRangeAndNeverSharedAtOnce) {
    for (int workers : {2, 3, 16}) {
        Workers w(workers);
        for (const pool::Split& split : kSplits)
            for (int count : {7, 4000}) {
                const int slots = pool::slots(count, split);
                ASSERT_GE(slots, 1);
                std::vector<std::atomic<int>> busy(static_cast<std::size_t>(slots));
                std::atomic<bool> clash{false}, out_of_range{false};
                pool::parallel_for(count, split, [&](const pool::Range& r) {
                    if (r.slot < 0 || r.slot >= slots) {
                        out_of_range = true;
                        return;
                    }
                    if (busy[static_cast<std::size_t>(r.slot)].exchange(1) != 0) clash = true;
                    std::this_thread::yield();
                    busy[static_cast<std::size_t>(r.slot)] = 0;
                });
                EXPECT_FALSE(out_of_range) << workers << " workers, " << count << " items";
                EXPECT_FALSE(clash) << workers << " workers, " << count << " items";
            }
    }
}

// The pool's threads take part: with several workers and slow items, more
// than one thread runs ranges (the offers are taken up while the caller
// works).
TEST(RangeCall, ThePoolsThreadsTakePart) {
    Workers w(4);
    std::mutex m;
    std::set<std::thread::id> threads;
    pool::parallel_for(64, {.grain = 1}, [&](const pool::Range&) {
        {
            std::lock_guard<std::mutex> hold(m);
            threads.insert(std::this_thread::get_id());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    EXPECT_GT(threads.size(), 1u);
    EXPECT_LE(threads.size(), 4u);
}

// Share k is [count k / n, count (k + 1) / n), handed over in order, its
// blocks after the first marked as continuing: whoever runs it.
TEST(RangeCall, SharesAreTheStaticScheduleInOrder) {
    for (int workers : {1, 2, 7}) {
        Workers w(workers);
        for (int count : {1, 3, 29, 1000}) {
            const pool::Split split{.grain = 1, .shares = true};
            const int n = pool::slots(count, split);
            ASSERT_EQ(n, std::min(workers, count));
            std::vector<std::vector<pool::Range>> seen(static_cast<std::size_t>(n));
            pool::parallel_for(count, split, [&](const pool::Range& r) {
                seen[static_cast<std::size_t>(r.slot)].push_back(r);  // one thread per share
            });
            for (int k = 0; k < n; ++k) {
                const auto& ranges = seen[static_cast<std::size_t>(k)];
                ASSERT_FALSE(ranges.empty());
                int next = static_cast<int>(static_cast<long long>(count) * k / n);
                for (std::size_t i = 0; i < ranges.size(); ++i) {
                    EXPECT_EQ(ranges[i].begin, next);
                    EXPECT_EQ(ranges[i].continues, i > 0);
                    next = ranges[i].end;
                }
                EXPECT_EQ(next, static_cast<int>(static_cast<long long>(count) * (k + 1) / n));
            }
        }
    }
}

// `continues` holds exactly when the slot's previous range ended where this
// one begins, so a body may go on with what that range left.
TEST(RangeCall, ContinuesMeansTheSlotsPreviousRangeEndedHere) {
    for (int workers : {1, 2, 5}) {
        Workers w(workers);
        const int count = 3000;
        const int slots = pool::slots(count, {.grain = 1});
        std::vector<int> last_end(static_cast<std::size_t>(slots), -1);
        std::atomic<bool> wrong{false};
        std::atomic<int> continued{0};
        pool::parallel_for(count, {.grain = 1}, [&](const pool::Range& r) {
            int& last = last_end[static_cast<std::size_t>(r.slot)];
            if (r.continues != (r.begin == last)) wrong = true;
            if (r.continues) ++continued;
            last = r.end;
        });
        EXPECT_FALSE(wrong);
        if (workers == 1) {
            EXPECT_GT(continued.load(), 0);  // one job takes every block in turn
        }
    }
}

TEST(RangeCall, NestedCallsRunInTheirThreadWithoutDeadlock) {
    Workers w(3);
    std::atomic<int> inner{0};
    std::atomic<bool> moved{false};
    pool::parallel_for(12, {.grain = 1}, [&](const pool::Range& r) {
        const std::thread::id me = std::this_thread::get_id();
        for (int i = r.begin; i < r.end; ++i)
            pool::parallel_for(4, {.grain = 1}, [&](const pool::Range& q) {
                if (pool::on_pool_thread() && std::this_thread::get_id() != me) moved = true;
                inner += q.end - q.begin;
            });
    });
    EXPECT_EQ(inner.load(), 48);
    EXPECT_FALSE(moved);
}

// A helper that had not started when the caller ran out of work is
// withdrawn and never runs later (the body's captures are gone by then).
TEST(RangeCall, WithdrawnHelpersNeverRunAfterTheCallReturns) {
    Workers w(4);
    for (int round = 0; round < 200; ++round) {
        std::atomic<int> calls{0};
        pool::parallel_for(8, {.grain = 1}, [&](const pool::Range&) { ++calls; });
        const int seen = calls.load();
        ASSERT_EQ(seen, 8);
        if (round % 50 == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ASSERT_EQ(calls.load(), seen);
        }
    }
}

// Once the deadline has passed the call hands out no more ranges and says
// so; before it, and without one, every item is done.
TEST(RangeCall, StopsHandingOutRangesOnceTheDeadlineHasPassed) {
    DeadlineReset reset;
    for (const pool::Split& split :
         {pool::Split{.grain = 1}, pool::Split{.grain = 1, .shares = true}}) {
        Workers w(2);
        // Passed already: nothing runs.
        work_deadline::set(platform::monotonic_ms() - 1);
        std::atomic<int> done{0};
        EXPECT_FALSE(
            pool::parallel_for(100, split, [&](const pool::Range& r) { done += r.end - r.begin; }));
        EXPECT_EQ(done.load(), 0);

        // Passing while the call runs: 400 items of 1 ms would take 200 ms on
        // two threads; the call stops soon after 30 ms.
        done = 0;
        const auto start = std::chrono::steady_clock::now();
        work_deadline::set(platform::monotonic_ms() + 30);
        const bool finished =
            pool::parallel_for(400, {.jobs = 2, .grain = 1, .cost = 1e7, .shares = split.shares},
                               [&](const pool::Range& r) {
                                   std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                   done += r.end - r.begin;
                               });
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_FALSE(finished);
        EXPECT_GT(done.load(), 0);
        EXPECT_LT(done.load(), 400);
        EXPECT_LT(took, std::chrono::milliseconds(150));

        // A deadline far ahead, or none, changes nothing.
        for (std::int64_t deadline : {platform::monotonic_ms() + 600000, std::int64_t{0}}) {
            work_deadline::set(deadline);
            done = 0;
            EXPECT_TRUE(pool::parallel_for(100, split,
                                           [&](const pool::Range& r) { done += r.end - r.begin; }));
            EXPECT_EQ(done.load(), 100);
        }
    }
}
