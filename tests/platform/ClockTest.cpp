// The virtual clock: what advance() fires and in which order, its two
// faces, threads sleeping on it, and frames of display links.

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DisplayLink.h"
#include "platform/dispatch/MainThread.h"
#include "platform/dispatch/RunLoop.h"
#include "tests/platform/support/VirtualTime.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

using platform::DispatchQueue;
using platform::DispatchQueuePriority;
using platform::DisplayLink;
using platform::RunLoop;
using platform::RunLoopMode;
using testsupport::VirtualTime;
using namespace std::chrono_literals;

namespace {

// "what@milliseconds", so that a wrong order and a wrong time both show.
struct Log {
    const VirtualTime& time;
    std::vector<std::string> entries;
    void add(const std::string& what) { entries.push_back(what + "@" + std::to_string(time.elapsed().count())); }
};

}  // namespace

TEST(VirtualClock, AdvanceFiresEverythingDueInTimeOrderTiesInSchedulingOrder) {
    VirtualTime time;
    Log log{time, {}};
    auto loop = RunLoop::main();
    int repeats = 0;
    auto repeating = loop->scheduleTimer(25ms, true, [&](RunLoop::Timer& timer) {
        log.add("repeat");
        if (++repeats == 4) timer.cancel();
    });
    loop->scheduleTimer(30ms, false, [&](RunLoop::Timer&) {
        log.add("timer");
        loop->post([&] { log.add("posted by timer"); });
    });
    loop->postAfter(30ms, [&] { log.add("delayed post"); });  // ties with the timer, scheduled after it
    loop->postAfter(10ms, [&] { log.add("delayed post"); });
    DispatchQueue::main().asyncAfter(20ms, [&] { log.add("main queue"); });
    DisplayLink link([&](const DisplayLink::Frame& frame) {
        log.add("frame");
        EXPECT_EQ(frame.timestamp, time.clock->instant());
        EXPECT_EQ(frame.duration, 50ms);
    });
    link.setPreferredFramesPerSecond(20);
    link.addToRunLoop(loop, RunLoopMode::Default);

    time.clock->advance(100ms);
    link.invalidate();
    const std::vector<std::string> expected = {
        "delayed post@10", "main queue@20", "repeat@25", "timer@30",   "posted by timer@30", "delayed post@30",
        "repeat@50",       "frame@50",      "repeat@75", "repeat@100", "frame@100",
    };
    EXPECT_EQ(log.entries, expected);
    EXPECT_EQ(time.elapsed(), 100ms);
    EXPECT_FALSE(repeating.isValid());

    // Nothing is left to fire.
    time.clock->advance(1s);
    EXPECT_EQ(log.entries.size(), expected.size());
}

TEST(VirtualClock, TheDateMovesWithAdvanceAndCanBeSetAlone) {
    const auto launch = std::chrono::sys_days{std::chrono::year{2024} / 3 / 31} + 22h;
    auto clock = std::make_shared<platform::VirtualClock>(launch);
    const auto start = clock->instant();
    EXPECT_EQ(clock->now(), launch);

    clock->advance(2h + 30min);
    EXPECT_EQ(clock->now(), launch + 2h + 30min);
    EXPECT_EQ(clock->instant(), start + 2h + 30min);

    // A year on, as for a yearly rotation: the monotonic face stays.
    const auto nextYear = std::chrono::sys_days{std::chrono::year{2025} / 4 / 1} + 0h;
    clock->setDate(nextYear);
    EXPECT_EQ(clock->now(), nextYear);
    EXPECT_EQ(clock->instant(), start + 2h + 30min);
    clock->advance(1s);
    EXPECT_EQ(clock->now(), nextYear + 1s);

    EXPECT_THROW(clock->advance(-1ms), std::invalid_argument);

    // The shared clock is the real one again outside a ScopedClock.
    {
        platform::ScopedClock installed(clock);
        EXPECT_EQ(platform::Clock::shared(), clock);
    }
    EXPECT_NE(platform::Clock::shared(), clock);
}

TEST(VirtualClock, SleepersWakeWhenAdvancedOrMoveAnAutoAdvancingClock) {
    VirtualTime time;
    std::atomic<bool> woke{false};
    std::thread sleeper([&] {
        time.clock->sleepFor(10s);
        woke = true;
    });
    ASSERT_TRUE(time.clock->waitForWaiters(1, 10s));
    time.clock->advance(9s);
    EXPECT_TRUE(time.clock->waitForWaiters(1, 0s)) << "still asleep a second early";
    EXPECT_FALSE(woke.load());
    time.clock->advance(1s);
    sleeper.join();
    EXPECT_TRUE(woke.load());

    // With auto-advance a sleeper takes the clock with it.
    time.clock->setAutoAdvance(true);
    std::thread([&] { time.clock->sleepFor(1h); }).join();
    EXPECT_EQ(time.elapsed(), 1h + 10s);
}

TEST(VirtualClock, DelayedBlocksOfOtherQueuesReachTheirQueueWhenDue) {
    VirtualTime time;
    DispatchQueue serial("com.vekmont.test.delayed");
    struct Case {
        const char* name;
        DispatchQueue& queue;
    };
    const Case cases[] = {{"serial", serial}, {"background", DispatchQueue::global(DispatchQueuePriority::Background)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::promise<std::pair<std::chrono::milliseconds, bool>> ran;
        const auto before = time.elapsed();
        c.queue.asyncAfter(5s, [&] { ran.set_value({time.elapsed() - before, c.queue.isCurrent()}); });
        auto result = ran.get_future();
        time.clock->advance(4999ms);
        EXPECT_EQ(result.wait_for(50ms), std::future_status::timeout);
        time.clock->advance(1ms);
        ASSERT_EQ(result.wait_for(10s), std::future_status::ready);
        const auto [at, onQueue] = result.get();
        EXPECT_EQ(at, 5s);
        EXPECT_TRUE(onQueue);
    }
}

TEST(DisplayLink, FramesComeAtTheDisplayRateOrAtAPreferredLowerOne) {
    struct Case {
        int preferred;
        int frames;  // in one second
        std::chrono::nanoseconds duration;
    };
    const Case cases[] = {{0, 60, 16666666ns}, {2, 2, 500ms}, {30, 30, 33333333ns}, {120, 60, 16666666ns}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.preferred);
        VirtualTime time;
        std::vector<DisplayLink::Frame> frames;
        DisplayLink link([&](const DisplayLink::Frame& frame) { frames.push_back(frame); });
        link.setPreferredFramesPerSecond(c.preferred);
        link.addToRunLoop(RunLoop::main(), RunLoopMode::Common);
        time.clock->advance(1s);
        ASSERT_EQ(frames.size(), static_cast<std::size_t>(c.frames));
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(frames[i].timestamp, time.start + c.duration * static_cast<int>(i + 1));
            EXPECT_EQ(frames[i].duration, c.duration);
        }
    }
    EXPECT_THROW(DisplayLink([](const DisplayLink::Frame&) {}).setPreferredFramesPerSecond(-1), std::invalid_argument);
}

TEST(DisplayLink, FramesOnlyInItsModesUnpausedAndUntilInvalidated) {
    VirtualTime time;
    auto loop = RunLoop::main();
    std::vector<std::chrono::milliseconds> frames;  // frame times since the start
    DisplayLink link([&](const DisplayLink::Frame& frame) {
        frames.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(frame.timestamp - time.start));
    });
    link.setPreferredFramesPerSecond(10);
    link.addToRunLoop(loop, RunLoopMode::Default);
    {
        RunLoop::ScopedMode tracking(*loop, RunLoopMode::Tracking);
        time.clock->advance(1s);
        EXPECT_TRUE(frames.empty()) << "added in the default mode only";
        // Added in the tracking mode too: the late frame comes at once, as
        // the latest frame time, and the rate goes on from there.
        link.addToRunLoop(loop, RunLoopMode::Tracking);
        time.clock->advance(1s);
        ASSERT_EQ(frames.size(), 11u);
        EXPECT_EQ(frames.front(), 1s);
        EXPECT_EQ(frames.back(), 2s);
    }

    frames.clear();
    link.setPaused(true);
    time.clock->advance(1s);
    EXPECT_TRUE(frames.empty());
    link.setPaused(false);
    time.clock->advance(1s);
    ASSERT_EQ(frames.size(), 10u);
    EXPECT_EQ(frames.front(), 3100ms);
    link.invalidate();
    time.clock->advance(1s);
    EXPECT_EQ(frames.size(), 10u);
    EXPECT_FALSE(link.isValid());

    // Invalidated, or even destroyed, by its own callback: that frame is the last.
    int selfInvalidated = 0;
    DisplayLink stopping([&](const DisplayLink::Frame&) {
        ++selfInvalidated;
        stopping.invalidate();
    });
    stopping.addToRunLoop(loop, RunLoopMode::Default);
    int selfDestroyed = 0;
    std::unique_ptr<DisplayLink> owned;
    owned = std::make_unique<DisplayLink>([&](const DisplayLink::Frame&) {
        ++selfDestroyed;
        owned.reset();
    });
    owned->addToRunLoop(loop, RunLoopMode::Default);
    time.clock->advance(1s);
    EXPECT_EQ(selfInvalidated, 1);
    EXPECT_EQ(selfDestroyed, 1);
    EXPECT_EQ(owned, nullptr);
}
