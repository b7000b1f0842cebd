// The shared thread pool and the row loops on it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "buffers/rows.h"
#include "platform/thread_pool.h"

TEST(ThreadPool, EveryJobRunsOnceJobZeroHereOthersOnDistinctThreads) {
    std::vector<std::thread::id> ran(6);
    std::atomic<int> runs{0};
    pool::run_jobs(6, [&](int k) {
        ran[static_cast<std::size_t>(k)] = std::this_thread::get_id();
        ++runs;
    });
    EXPECT_EQ(runs.load(), 6);
    EXPECT_EQ(ran[0], std::this_thread::get_id());
    EXPECT_EQ(std::set<std::thread::id>(ran.begin(), ran.end()).size(), 6u);
}

TEST(ThreadPool, NestedCallsRunInlineWithoutDeadlock) {
    std::atomic<int> inner{0};
    pool::run_jobs(3, [&](int k) {
        if (k == 0) return;
        EXPECT_TRUE(pool::on_pool_thread());
        const std::thread::id me = std::this_thread::get_id();
        pool::run_jobs(4, [&](int) {
            EXPECT_EQ(std::this_thread::get_id(), me);
            ++inner;
        });
    });
    EXPECT_EQ(inner.load(), 8);
}

TEST(ThreadPool, TaskWaitTimesOutThenCompletes) {
    std::atomic<bool> open{false};
    pool::Task task;
    ASSERT_TRUE(task.start(
        [](void* c) {
            while (!static_cast<std::atomic<bool>*>(c)->load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        },
        &open));
    EXPECT_FALSE(task.start([](void*) {}, nullptr));  // one task at a time
    EXPECT_FALSE(task.wait(5));
    open = true;
    EXPECT_TRUE(task.wait());
    EXPECT_TRUE(task.finished());
    task.release();
    EXPECT_TRUE(task.start([](void*) {}, nullptr));
    EXPECT_TRUE(task.wait());
}

TEST(RowLoops, EveryRowOnceWhateverTheWorkerCount) {
    const int saved = pool::worker_count();
    for (int workers : {1, 2, 3, 16}) {
        pool::set_worker_count(workers);
        for (int rows : {0, 1, 5, 97}) {
            std::vector<int> hits(static_cast<std::size_t>(rows), 0);
            parallel_ranges(rows, [&](int begin, int end) {
                for (int i = begin; i < end; ++i) ++hits[static_cast<std::size_t>(i)];
            });
            for (int h : hits) ASSERT_EQ(h, 1) << workers << " workers, " << rows << " rows";
        }
    }
    pool::set_worker_count(saved);
}

// Scratch kept per thread index is never used by two threads at once: each
// block marks its slot busy while it runs, and the index stays in range.
TEST(RowLoops, ThreadIndexesAreInRangeAndNeverSharedAtOnce) {
    const int saved = pool::worker_count();
    for (int workers : {1, 2, 3, 16}) {
        pool::set_worker_count(workers);
        for (int rows : {1, 7, 4000}) {
            const int threads = row_loop_threads(rows);
            ASSERT_GE(threads, 1);
            ASSERT_LE(threads, workers);
            std::vector<std::atomic<int>> busy(static_cast<std::size_t>(threads));
            std::vector<int> hits(static_cast<std::size_t>(rows), 0);
            std::atomic<bool> clash{false}, out_of_range{false};
            parallel_ranges_by_thread(rows, [&](int thread, int begin, int end) {
                if (thread < 0 || thread >= threads) {
                    out_of_range = true;
                    return;
                }
                if (busy[static_cast<std::size_t>(thread)].exchange(1) != 0) clash = true;
                for (int i = begin; i < end; ++i) ++hits[static_cast<std::size_t>(i)];
                std::this_thread::yield();
                busy[static_cast<std::size_t>(thread)] = 0;
            });
            EXPECT_FALSE(out_of_range) << workers << " workers, " << rows << " rows";
            EXPECT_FALSE(clash) << workers << " workers, " << rows << " rows";
            for (int h : hits) ASSERT_EQ(h, 1) << workers << " workers, " << rows << " rows";
        }
    }
    pool::set_worker_count(saved);
}

TEST(ThreadPool, SharedWorkIsDoneOnceAndWithdrawnOffersNeverRunLater) {
    const int saved = pool::worker_count();
    pool::set_worker_count(4);
    for (int round = 0; round < 200; ++round) {
        std::atomic<int> next{0}, calls{0};
        std::vector<std::atomic<int>> done(64);
        pool::run_shared(3, [&](int) {
            ++calls;
            for (int k; (k = next++) < 64;) ++done[static_cast<std::size_t>(k)];
        });
        const int seen = calls.load();
        for (auto& d : done) ASSERT_EQ(d.load(), 1);
        ASSERT_GE(seen, 1);
        ASSERT_LE(seen, 4);
        // Offers withdrawn at the return are not taken up afterwards (the
        // job's captures are gone by then).
        if (round % 50 == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ASSERT_EQ(calls.load(), seen);
        }
    }
    pool::set_worker_count(saved);
}
