#include "platform/dispatch/RunLoop.h"

#include "platform/dispatch/MainThread.h"
#include "tests/platform/support/VirtualTime.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using platform::RunLoop;
using platform::RunLoopMode;
using testsupport::VirtualTime;
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

TEST(RunLoop, WhileTrackingOnlyTimersOfTheTrackingModeFireAndPostsRunInEveryMode) {
    VirtualTime time;
    auto loop = RunLoop::main();
    int defaultFires = 0;
    int commonFires = 0;
    int trackingFires = 0;
    int posts = 0;
    auto defaultOnly = loop->scheduleTimer(10ms, true, [&](RunLoop::Timer&) { ++defaultFires; });
    auto common = loop->scheduleTimer(
        10ms, true, [&](RunLoop::Timer&) { ++commonFires; }, RunLoopMode::Common);
    loop->scheduleTimer(
        5ms, false, [&](RunLoop::Timer&) { ++trackingFires; }, RunLoopMode::Tracking);
    {
        RunLoop::ScopedMode tracking(*loop, RunLoopMode::Tracking);
        EXPECT_EQ(loop->currentMode(), RunLoopMode::Tracking);
        loop->post([&] { ++posts; });
        time.clock->advance(30ms);
        EXPECT_EQ(defaultFires, 0);
        EXPECT_EQ(commonFires, 3);
        EXPECT_EQ(trackingFires, 1);
        EXPECT_EQ(posts, 1);
    }
    EXPECT_EQ(loop->currentMode(), RunLoopMode::Default);
    // Back in the default mode the timer that waited fires once; the fires
    // it missed are skipped.
    time.clock->advance(0ms);
    EXPECT_EQ(defaultFires, 1);
    time.clock->advance(10ms);
    EXPECT_EQ(defaultFires, 2);
    EXPECT_EQ(commonFires, 4);
    EXPECT_EQ(trackingFires, 1);
    defaultOnly.cancel();
    common.cancel();

    EXPECT_THROW(RunLoop::ScopedMode(*loop, RunLoopMode::Common), std::invalid_argument);
    std::thread([&] { EXPECT_THROW(RunLoop::ScopedMode(*loop, RunLoopMode::Tracking), std::logic_error); }).join();
}

TEST(RunLoop, TimersCancelFromTheirOwnBlockOrFromAnotherThread) {
    VirtualTime time;
    auto loop = RunLoop::main();
    int ownFires = 0;
    auto own = loop->scheduleTimer(10ms, true, [&](RunLoop::Timer& timer) {
        if (++ownFires == 3) timer.cancel();
    });
    int otherFires = 0;
    auto other = loop->scheduleTimer(10ms, true, [&](RunLoop::Timer&) { ++otherFires; });
    bool oneShotFired = false;
    auto oneShot = loop->scheduleTimer(15ms, false, [&](RunLoop::Timer&) { oneShotFired = true; });

    time.clock->advance(25ms);
    EXPECT_EQ(otherFires, 2);
    std::thread([other]() mutable { other.cancel(); }).join();
    time.clock->advance(1s);
    EXPECT_EQ(ownFires, 3);
    EXPECT_EQ(otherFires, 2);
    EXPECT_FALSE(own.isValid());
    EXPECT_FALSE(other.isValid());
    EXPECT_TRUE(oneShotFired);
    EXPECT_FALSE(oneShot.isValid()) << "a one-shot timer ends when it has fired";
    EXPECT_THROW(loop->scheduleTimer(0ms, true, [](RunLoop::Timer&) {}), std::invalid_argument);
}

TEST(RunLoop, OnAVirtualClockRunsWaitInRealTimeAndNeverMoveTheClock) {
    VirtualTime time;
    auto loop = RunLoop::main();
    bool timerFired = false;
    loop->scheduleTimer(10ms, false, [&](RunLoop::Timer&) { timerFired = true; });

    // A post from another thread is run; the timer's time never comes.
    std::atomic<bool> posted{false};
    std::thread poster([&] { loop->post([&] { posted = true; }); });
    EXPECT_TRUE(loop->runUntil([&] { return posted.load(); }, 60s));
    poster.join();
    EXPECT_FALSE(loop->runUntil([] { return false; }, 20ms));
    EXPECT_FALSE(timerFired);
    EXPECT_EQ(time.elapsed(), 0ms);

    // A run to a deadline moves an auto-advancing clock, firing on the way.
    time.clock->setAutoAdvance(true);
    EXPECT_TRUE(loop->runUntil(time.clock->instant() + 1s));
    EXPECT_TRUE(timerFired);
    EXPECT_EQ(time.elapsed(), 1s);
}

TEST(RunLoop, TimersAndDelayedPostsFireOnTheRealClock) {
    auto loop = RunLoop::current();
    std::vector<std::string> order;
    int ticks = 0;
    loop->scheduleTimer(1ms, true, [&](RunLoop::Timer& timer) {
        order.push_back("tick");
        if (++ticks == 3) timer.cancel();
    });
    // Far enough behind the ticks that a loaded machine still gets all three in.
    loop->postAfter(500ms, [&] {
        order.push_back("after");
        loop->stop();
    });
    const auto start = platform::Clock::shared()->instant();
    loop->run();
    EXPECT_GE(platform::Clock::shared()->instant() - start, 500ms);
    EXPECT_EQ(order, (std::vector<std::string>{"tick", "tick", "tick", "after"}));
}

TEST(RunLoop, TheMainLoopBelongsToTheInitialThread) {
    ASSERT_TRUE(platform::isMainThread()) << "tests run on the initial thread";
    auto main = RunLoop::main();
    EXPECT_EQ(RunLoop::current(), main);
    EXPECT_TRUE(main->isCurrent());
    EXPECT_NO_THROW(platform::requireMainThread("a test"));

    std::atomic<bool> ranOnMain{false};
    std::thread worker([&] {
        EXPECT_FALSE(platform::isMainThread());
        EXPECT_FALSE(main->isCurrent());
        EXPECT_NE(RunLoop::current(), main);
        EXPECT_EQ(RunLoop::main(), main);
        EXPECT_THROW(platform::requireMainThread("drawing"), std::logic_error);
        EXPECT_THROW(main->runUntil(platform::Clock::shared()->instant()), std::logic_error)
            << "a loop runs on its own thread only";
        main->post([&] { ranOnMain = platform::isMainThread(); });
    });
    worker.join();
    EXPECT_TRUE(main->runUntil([&] { return ranOnMain.load(); }, 60s));
}
