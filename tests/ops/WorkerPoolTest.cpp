// The worker pool: operations counted until their end message, threads joined only once they said
// that they end, the task's state freed on its thread, and the operator's cancel.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "ops/WorkerPool.h"

using namespace vst;

namespace {

void waitUntil(const std::function<bool()>& condition)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition() && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace

TEST(WorkerPool, CountsOperationsUntilTheirEndAndJoinsEveryThread)
{
    for (int tasks : {1, 3, 8}) {
        SCOPED_TRACE(tasks);
        std::atomic<int> threadsEnded{0};
        std::atomic<int> ran{0};
        std::atomic<int> endMessages{0};  // sent, not yet seen by the front end
        ops::WorkerPool pool([&] { ++threadsEnded; });
        EXPECT_TRUE(pool.idle());
        for (int i = 0; i < tasks; ++i) {
            pool.start([&] {
                ++ran;
                ++endMessages;
            });
        }
        EXPECT_EQ(pool.running(), tasks);
        // The front end sees each end message; the pool serves until every thread is joined.
        int served = 0;
        pool.waitForAll([&] {
            ++served;
            for (; endMessages > 0; --endMessages) pool.operationEnded();
        });
        EXPECT_GT(served, 0);
        EXPECT_EQ(ran.load(), tasks);
        EXPECT_EQ(threadsEnded.load(), tasks);
        EXPECT_TRUE(pool.idle());
        EXPECT_EQ(pool.threads(), 0u);
        pool.operationEnded();  // an end message too many never counts below zero
        EXPECT_EQ(pool.running(), 0);
    }
}

TEST(WorkerPool, ReapJoinsOnlyThreadsThatHaveEnded)
{
    std::atomic<bool> release{false};
    std::atomic<int> ended{0};
    ops::WorkerPool pool([&] { ++ended; });
    pool.start([&] {
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    pool.start([] {});
    waitUntil([&] { return ended.load() == 1; });
    pool.reap();
    EXPECT_EQ(pool.threads(), 1u);  // the blocked one is left alone, never waited for
    release = true;
    waitUntil([&] { return ended.load() == 2; });
    pool.reap();
    EXPECT_EQ(pool.threads(), 0u);
}

TEST(WorkerPool, TaskStateIsFreedOnItsThreadAndWaitingWithoutServingJoins)
{
    ops::WorkerPool pool;
    auto block = std::make_shared<int>(7);
    std::weak_ptr<int> watch = block;
    pool.start([block] { EXPECT_EQ(*block, 7); });
    block.reset();
    // The console's way: no messages to serve, the threads are joined and nothing counts as running.
    pool.waitForAll();
    EXPECT_TRUE(watch.expired());
    EXPECT_TRUE(pool.idle());
    EXPECT_EQ(pool.threads(), 0u);
}

TEST(WorkerPool, CancelStopsTheEnduranceRunFirstElseTheSearch)
{
    struct Case {
        bool busy, endurance;
        bool busyAfter, enduranceAfter;
    };
    const Case cases[] = {
        {true, true, true, false},    // the stop button's way: the run ends, its search flag stays
        {true, false, false, false},  // a search is cancelled
        {false, true, false, false},
        {false, false, false, false},
    };
    for (const auto& c : cases) {
        ops::WorkerPool pool;
        pool.setBusy(c.busy);
        pool.setEnduranceActive(c.endurance);
        pool.cancel();
        EXPECT_EQ(pool.busy(), c.busyAfter);
        EXPECT_EQ(pool.enduranceActive(), c.enduranceAfter);
    }
}
