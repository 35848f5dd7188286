#include "platform/dispatch/RunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using platform::RunLoop;
using namespace std::chrono_literals;

namespace {

platform::Clock::Instant farFuture() { return platform::Clock::shared()->instant() + 60s; }

}  // namespace

TEST(RunLoop, EachThreadHasItsOwnLoop) {
    auto mine = RunLoop::current();
    EXPECT_EQ(mine, RunLoop::current());
    EXPECT_TRUE(mine->isCurrent());

    std::shared_ptr<RunLoop> theirs;
    bool mineIsCurrentThere = true;
    std::thread([&] {
        theirs = RunLoop::current();
        mineIsCurrentThere = mine->isCurrent();
    }).join();
    ASSERT_NE(theirs, nullptr);
    EXPECT_NE(theirs, mine);
    EXPECT_FALSE(mineIsCurrentThere);
    EXPECT_FALSE(theirs->isCurrent());
}

TEST(RunLoop, BlocksFromManyThreadsRunInPostingOrderOnTheLoopThread) {
    auto loop = RunLoop::current();
    const auto loopThread = std::this_thread::get_id();
    constexpr int kThreads = 4;
    constexpr int kPerThread = 200;

    std::vector<std::vector<int>> seen(kThreads);  // touched on the loop thread only
    std::atomic<int> wrongThread{0};
    std::atomic<int> ran{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                loop->post([&, t, i] {
                    if (std::this_thread::get_id() != loopThread) ++wrongThread;
                    seen[t].push_back(i);
                    ++ran;
                });
            }
        });
    }
    const bool finished = loop->runUntil([&] { return ran.load() == kThreads * kPerThread; }, 60s);
    for (auto& p : posters) p.join();

    ASSERT_TRUE(finished);
    EXPECT_EQ(wrongThread.load(), 0);
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(seen[t].size(), static_cast<std::size_t>(kPerThread)) << "thread " << t;
        for (int i = 0; i < kPerThread; ++i) EXPECT_EQ(seen[t][i], i) << "thread " << t;
    }
}

TEST(RunLoop, RunUntilAPastDeadlineRunsWhatIsQueuedAndReturns) {
    auto loop = RunLoop::current();
    std::vector<int> order;
    loop->post([&] { order.push_back(1); });
    loop->post([&] {
        order.push_back(2);
        // Posted while running: still runs in this pass.
        loop->post([&] { order.push_back(3); });
    });
    EXPECT_TRUE(loop->runUntil(platform::Clock::shared()->instant()));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(loop->runUntil(platform::Clock::shared()->instant()));  // nothing left
}

TEST(RunLoop, StopFromAnotherThreadEndsARunAfterItsCurrentBlock) {
    auto loop = RunLoop::current();
    std::atomic<bool> second{false};
    loop->post([&] {
        // Stop and a later block arrive while this block runs: the loop
        // returns before the later block.
        std::thread([&] {
            loop->stop();
            loop->post([&] { second = true; });
        }).join();
    });
    EXPECT_TRUE(loop->runUntil(farFuture()));
    EXPECT_FALSE(second.load());
    EXPECT_TRUE(loop->runUntil(platform::Clock::shared()->instant()));
    EXPECT_TRUE(second.load());
}

TEST(RunLoop, AStopBeforeTheRunIsNotLost) {
    auto loop = RunLoop::current();
    bool ran = false;
    loop->stop();
    loop->post([&] { ran = true; });
    // The kept stop ends this run at once; the next run goes on normally.
    EXPECT_FALSE(loop->runUntil(farFuture()));
    EXPECT_FALSE(ran);
    EXPECT_TRUE(loop->runUntil([&] { return ran; }, 60s));
}

TEST(RunLoop, RunUntilDoneWakesForAPostFromAnotherThread) {
    auto loop = RunLoop::current();
    std::atomic<bool> done{false};
    std::thread poster([&] { loop->post([&] { done = true; }); });
    EXPECT_TRUE(loop->runUntil([&] { return done.load(); }, 60s));
    poster.join();
    // A condition that never holds gives false when the time is up.
    EXPECT_FALSE(loop->runUntil([] { return false; }, 1ms));
}
