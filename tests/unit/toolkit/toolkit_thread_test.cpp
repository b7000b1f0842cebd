// The toolkit's worker threads: run_threads, the thread lifecycle, the row
// split and the common row-filter controller.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "toolkit/array.h"
#include "toolkit/controller.h"
#include "toolkit/thread.h"

namespace {

// Records where it ran and doubles its output rows.
class probe_thread : public mist::thread<probe_thread> {
public:
    const mist::array2<int>* input = nullptr;
    mist::array2<int>* output = nullptr;
    std::thread::id ran_on;
    int runs = 0;

protected:
    std::uint32_t thread_function() override {
        ran_on = std::this_thread::get_id();
        ++runs;
        if (input != nullptr)
            for (std::size_t y = thread_index; y < output->height(); y += thread_count)
                for (std::size_t x = 0; x < output->width(); ++x)
                    (*output)(x, y) = 2 * (*input)(x, y);
        return 1;
    }
};

// Blocks until released, so a test can look at a running worker.
class gate_thread : public mist::thread<gate_thread> {
public:
    std::atomic<bool> open{false};
    std::atomic<int> runs{0};

protected:
    std::uint32_t thread_function() override {
        ++runs;
        while (!open.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 7;
    }
};

mist::array2<int> ramp(std::size_t w, std::size_t h) {
    mist::array2<int> a(w, h);
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<int>(i);
    return a;
}

}  // namespace

TEST(ToolkitThreads, OneWorkerRunsInTheCallingThreadAndStartsNoThread) {
    probe_thread w;
    EXPECT_TRUE(mist::run_threads(&w, 1));
    EXPECT_EQ(w.ran_on, std::this_thread::get_id());
    EXPECT_EQ(w.runs, 1);
    EXPECT_EQ(w.result(), 1u);
    EXPECT_FALSE(w.has_handle());
    EXPECT_EQ(w.thread_id(), 0xFFFFFFFFu);
}

TEST(ToolkitThreads, WorkerZeroRunsHereOthersOnTheirOwnThreads) {
    std::vector<probe_thread> workers(4);
    for (std::uint32_t i = 0; i < 4; ++i) {
        workers[i].thread_index = i;
        workers[i].thread_count = 4;
    }
    EXPECT_TRUE(mist::run_threads(workers.data(), 4));
    EXPECT_EQ(workers[0].ran_on, std::this_thread::get_id());
    std::set<std::thread::id> ids;
    for (const auto& w : workers) {
        EXPECT_EQ(w.runs, 1);
        EXPECT_EQ(w.result(), 1u);
        EXPECT_FALSE(w.has_handle());  // all closed before run_threads returns
        ids.insert(w.ran_on);
    }
    EXPECT_EQ(ids.size(), 4u);
}

TEST(ToolkitThreads, CreateOnARunningWorkerReturnsFalseAndLeavesItAlone) {
    gate_thread g;
    ASSERT_TRUE(g.create());
    EXPECT_TRUE(g.has_handle());
    EXPECT_NE(g.thread_id(), 0xFFFFFFFFu);
    EXPECT_FALSE(g.create());
    // A short wait times out without failing while the body still runs.
    EXPECT_TRUE(g.wait(5));
    g.open = true;
    EXPECT_TRUE(g.wait(mist::infinite_wait));
    EXPECT_TRUE(g.close());
    EXPECT_EQ(g.runs.load(), 1);
    EXPECT_EQ(g.result(), 7u);
    EXPECT_FALSE(g.has_handle());
    EXPECT_TRUE(g.close());  // closing with no handle is fine
}

TEST(ToolkitThreads, CloseWithoutWaitWaitsForTheBody) {
    gate_thread g;
    ASSERT_TRUE(g.create());
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        g.open = true;
    });
    EXPECT_TRUE(g.close());
    EXPECT_EQ(g.result(), 7u);
    opener.join();
}

TEST(ToolkitController, RowsAreInterleavedAndEveryThreadCountGivesOneResult) {
    const mist::array2<int> in = ramp(5, 7);
    mist::array2<int> expected;
    for (std::uint32_t n : {1u, 2u, 3u, 7u, 12u, 0u}) {
        mist::array2<int> out(1, 1);
        std::uint32_t made = 0;
        ASSERT_TRUE(mist::run_row_filter<probe_thread>(in, out, n, [&](probe_thread& w) {
            w.input = &in;
            w.output = &out;
            ++made;
        }));
        // 0 asks for one worker per processor; more workers than rows leave
        // the surplus idle.
        EXPECT_EQ(made, n == 0 ? mist::processor_count() : n);
        ASSERT_EQ(out.width(), 5u);
        ASSERT_EQ(out.height(), 7u);
        for (std::size_t i = 0; i < in.size(); ++i) ASSERT_EQ(out[i], 2 * in[i]) << "n=" << n;
    }
}

TEST(ToolkitController, SameArrayOrEmptyInputDoesNothing) {
    mist::array2<int> a = ramp(3, 3);
    bool configured = false;
    EXPECT_FALSE(
        mist::run_row_filter<probe_thread>(a, a, 2, [&](probe_thread&) { configured = true; }));
    EXPECT_FALSE(configured);
    EXPECT_EQ(a(2, 2), 8);
    const mist::array2<int> empty;
    mist::array2<int> out(2, 2);
    EXPECT_FALSE(mist::run_row_filter<probe_thread>(empty, out, 2,
                                                    [&](probe_thread&) { configured = true; }));
    EXPECT_FALSE(configured);
    EXPECT_EQ(out.size(), 4u);
}
