#include "platform/dispatch/DispatchQueue.h"

#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/dispatch/MainThread.h"
#include "platform/dispatch/RunLoop.h"
#include "tests/platform/support/VirtualTime.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <future>
#include <latch>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

using platform::ConcurrentFeed;
using platform::DispatchQueue;
using platform::DispatchQueuePriority;
using platform::DispatchSemaphore;
using platform::RunLoop;
using testsupport::VirtualTime;
using namespace std::chrono_literals;

namespace {

// Holds every pool thread in a block until the latch returned is counted
// down. The latches outlive the blocks that wait on them.
std::shared_ptr<std::latch> holdEveryPoolThread() {
    const unsigned held = DispatchQueue::concurrency();
    auto started = std::make_shared<std::latch>(held);
    auto release = std::make_shared<std::latch>(1);
    for (unsigned i = 0; i < held; ++i) {
        DispatchQueue::global(DispatchQueuePriority::High).async([started, release] {
            started->count_down();
            release->wait();
        });
    }
    started->wait();
    return release;
}

}  // namespace

TEST(DispatchQueueTest, RunsBlocksInSubmissionOrder) {
    DispatchQueue queue("com.vekmont.test.fifo");
    std::vector<int> seen;  // touched only on the queue
    for (int i = 0; i < 2000; ++i) queue.async([&seen, i] { seen.push_back(i); });

    std::vector<int> snapshot;
    queue.sync([&] { snapshot = seen; });
    ASSERT_EQ(snapshot.size(), 2000u);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(snapshot[i], i) << "block " << i << " ran out of order";
}

TEST(DispatchQueueTest, SyncSeesEveryEarlierAsyncFromOtherThreads) {
    DispatchQueue queue("com.vekmont.test.producers");
    constexpr int kThreads = 8;
    constexpr int kPerThread = 500;
    long total = 0;                                     // plain data: the queue serialises it
    std::vector<std::vector<int>> perThread(kThreads);  // order seen per producer

    std::latch start(kThreads);
    std::vector<std::thread> producers;
    for (int t = 0; t < kThreads; ++t) {
        producers.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int i = 0; i < kPerThread; ++i) {
                queue.async([&, t, i] {
                    total += 1;
                    perThread[t].push_back(i);
                });
            }
            // This producer's own blocks are visible to its sync block.
            std::size_t mine = 0;
            queue.sync([&] { mine = perThread[t].size(); });
            EXPECT_EQ(mine, static_cast<std::size_t>(kPerThread));
        });
    }
    for (auto& p : producers) p.join();

    long seenTotal = 0;
    queue.sync([&] { seenTotal = total; });
    EXPECT_EQ(seenTotal, kThreads * kPerThread);
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(perThread[t].size(), static_cast<std::size_t>(kPerThread));
        for (int i = 0; i < kPerThread; ++i) ASSERT_EQ(perThread[t][i], i) << "producer " << t;
    }
}

TEST(DispatchQueueTest, SyncFromItsOwnQueueThrowsInsteadOfDeadlocking) {
    DispatchQueue queue("com.vekmont.test.reentrant");
    bool threw = false;
    bool innerRan = false;
    queue.async([&] {
        try {
            queue.sync([&] { innerRan = true; });
        } catch (const std::logic_error&) {
            threw = true;
        }
    });
    queue.sync([] {});
    EXPECT_TRUE(threw);
    EXPECT_FALSE(innerRan);

    // Another queue may be entered synchronously from this one.
    DispatchQueue other("com.vekmont.test.other");
    bool otherRan = false;
    queue.sync([&] { other.sync([&] { otherRan = true; }); });
    EXPECT_TRUE(otherRan);
}

TEST(DispatchQueueTest, IsCurrentOnlyInsideItsBlocks) {
    DispatchQueue queue("com.vekmont.test.current");
    DispatchQueue other("com.vekmont.test.current2");
    EXPECT_FALSE(queue.isCurrent());
    bool insideSelf = false;
    bool insideOther = true;
    queue.sync([&] {
        insideSelf = queue.isCurrent();
        insideOther = other.isCurrent();
    });
    EXPECT_TRUE(insideSelf);
    EXPECT_FALSE(insideOther);
}

TEST(DispatchQueueTest, DestructorRunsEveryQueuedBlock) {
    std::atomic<int> ran{0};
    std::promise<void> gate;
    auto opened = gate.get_future().share();
    {
        DispatchQueue queue("com.vekmont.test.drain");
        queue.async([opened, &ran] {
            opened.wait();
            ++ran;
        });
        for (int i = 0; i < 200; ++i) queue.async([&ran] { ++ran; });
        // A block queued while the queue drains runs too.
        queue.async([&queue, &ran] { queue.async([&ran] { ran += 1000; }); });
        gate.set_value();
    }
    EXPECT_EQ(ran.load(), 1 + 200 + 1000);
}

TEST(DispatchQueueTest, WorkerThreadIsNamedAfterTheLabelsEnd) {
    struct Case {
        const char* label;
        const char* expected;
    };
    const Case cases[] = {
        {"com.vekmont.logger.queue", "nt.logger.queue"},  // 24 chars: last 15 kept
        {"short.label", "short.label"},
        {"exactly15chars!", "exactly15chars!"},
    };
    for (const auto& c : cases) {
        DispatchQueue queue(c.label);
        char name[32] = {};
        queue.sync([&] { pthread_getname_np(pthread_self(), name, sizeof name); });
        EXPECT_STREQ(name, c.expected) << c.label;
        EXPECT_EQ(queue.label(), c.label);
    }
}

TEST(DispatchQueueTest, ExceptionsReachSyncCallersAndDoNotStopTheQueue) {
    DispatchQueue queue("com.vekmont.test.throw");
    EXPECT_THROW(queue.sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
    queue.async([] { throw std::runtime_error("lost"); });
    bool stillRuns = false;
    queue.sync([&] { stillRuns = true; });
    EXPECT_TRUE(stillRuns);
}

TEST(DispatchQueueTest, OnceRunsOnceUnderConcurrentFirstCalls) {
    platform::OnceFlag flag;
    std::atomic<int> calls{0};
    int value = 0;  // written by the one call, read by all after once returns
    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::vector<int> seen(kThreads, -1);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            platform::once(flag, [&] {
                ++calls;
                value = 42;
            });
            seen[t] = value;
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(calls.load(), 1);
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(seen[t], 42) << "thread " << t;
}

TEST(ConcurrentQueueTest, BarriersExcludeReadersAndEachOtherReadersRunSideBySide) {
    DispatchQueue queue("com.vekmont.test.render-data", DispatchQueue::Kind::Concurrent);
    std::atomic<int> readers{0};
    std::atomic<int> writers{0};
    std::atomic<int> mostReaders{0};
    std::atomic<int> overlaps{0};  // a reader beside a writer, or two writers
    int version = 0;               // written by barriers only
    auto read = [&](int expectedAtLeast) {
        const int now = ++readers;
        int most = mostReaders.load();
        while (now > most && !mostReaders.compare_exchange_weak(most, now)) {
        }
        if (writers.load() != 0) ++overlaps;
        EXPECT_GE(version, expectedAtLeast);
        std::this_thread::sleep_for(100us);
        if (writers.load() != 0) ++overlaps;
        --readers;
    };
    auto write = [&] {
        if (++writers != 1 || readers.load() != 0) ++overlaps;
        std::this_thread::sleep_for(200us);
        ++version;
        if (readers.load() != 0) ++overlaps;
        --writers;
    };

    // Two sync readers meet inside: each waits (up to a guard) for the other.
    std::atomic<int> inside{0};
    std::atomic<int> met{0};
    std::vector<std::thread> pair;
    for (int i = 0; i < 2; ++i) {
        pair.emplace_back([&] {
            queue.sync([&] {
                ++inside;
                const auto guard = std::chrono::steady_clock::now() + 10s;
                while (inside.load() < 2 && std::chrono::steady_clock::now() < guard) std::this_thread::yield();
                if (inside.load() == 2) ++met;
            });
        });
    }
    for (auto& t : pair) t.join();
    EXPECT_EQ(met.load(), 2) << "sync readers ran one after the other";

    // Readers and writers from several threads, async and sync alike.
    constexpr int kThreads = 6;
    constexpr int kRounds = 40;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                if ((i + t) % 8 == 0) {
                    queue.barrierSync(write);
                    queue.sync([&] { read(1); });  // sees at least its own write
                } else if ((i + t) % 8 == 4) {
                    queue.barrierAsync(write);
                } else if (i % 2 == 0) {
                    queue.async([&] { read(0); });
                } else {
                    queue.sync([&] { read(0); });
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    int finalVersion = -1;
    queue.barrierSync([&] { finalVersion = version; });
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_GT(mostReaders.load(), 1);
    EXPECT_EQ(finalVersion, kThreads * kRounds / 4);

    // Blocks start in order: a barrier waits for the block before it and
    // holds back the ones after it.
    std::mutex orderMutex;
    std::vector<std::string> order;
    auto note = [&](const char* what) {
        std::lock_guard lock(orderMutex);
        order.push_back(what);
    };
    std::promise<void> gate;
    auto opened = gate.get_future().share();
    queue.async([&, opened] {
        opened.wait();
        note("first");
    });
    queue.barrierAsync([&] { note("barrier"); });
    queue.async([&] { note("reader"); });
    gate.set_value();
    queue.barrierSync([&] { note("last"); });
    EXPECT_EQ(order, (std::vector<std::string>{"first", "barrier", "reader", "last"}));
}

TEST(ConcurrentQueueTest, GlobalQueuesRunOnPoolThreadsAndRefuseSyncFromThemselves) {
    for (auto priority : {DispatchQueuePriority::High, DispatchQueuePriority::Default, DispatchQueuePriority::Low,
                          DispatchQueuePriority::Background}) {
        auto& queue = DispatchQueue::global(priority);
        EXPECT_EQ(&queue, &DispatchQueue::global(priority));
        std::promise<std::tuple<bool, bool, bool>> seen;
        queue.async([&] {
            bool threw = false;
            try {
                queue.sync([] {});
            } catch (const std::logic_error&) {
                threw = true;
            }
            seen.set_value({queue.isCurrent(), platform::isMainThread(), threw});
        });
        const auto [current, onMain, threw] = seen.get_future().get();
        EXPECT_TRUE(current) << queue.label();
        EXPECT_FALSE(onMain);
        EXPECT_TRUE(threw);
        EXPECT_FALSE(queue.isCurrent());
    }
    // A barrier on a global queue is a plain block.
    bool ran = false;
    DispatchQueue::global().barrierSync([&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(ConcurrentQueueTest, ConcurrentPerformRunsEachIterationOnceAndFinishesWithABusyPool) {
    // Every index exactly once, nested calls too.
    constexpr std::size_t kIterations = 20000;
    std::vector<std::atomic<int>> runs(kIterations);
    DispatchQueue::concurrentPerform(kIterations, [&](std::size_t i) {
        runs[i].fetch_add(1);
        if (i % 1000 == 0) {
            std::atomic<int> inner{0};
            DispatchQueue::concurrentPerform(50, [&](std::size_t) { inner.fetch_add(1); });
            EXPECT_EQ(inner.load(), 50);
        }
    });
    for (std::size_t i = 0; i < kIterations; ++i) ASSERT_EQ(runs[i].load(), 1) << "iteration " << i;

    // With every pool thread held up, the caller does the work itself.
    const auto release = holdEveryPoolThread();
    std::atomic<int> done{0};
    DispatchQueue::concurrentPerform(100, [&](std::size_t) { done.fetch_add(1); });
    EXPECT_EQ(done.load(), 100);
    release->count_down();

    // The first exception reaches the caller once every iteration has run.
    std::atomic<int> ran{0};
    EXPECT_THROW(DispatchQueue::concurrentPerform(64,
                                                  [&](std::size_t i) {
                                                      ran.fetch_add(1);
                                                      if (i == 7) throw std::runtime_error("seven");
                                                  }),
                 std::runtime_error);
    EXPECT_EQ(ran.load(), 64);
    DispatchQueue::concurrentPerform(0, [](std::size_t) { FAIL() << "no iterations"; });
}

TEST(ConcurrentQueueTest, ConcurrentPerformRunsAsManyIterationsAtOnceAsThePoolHasThreads) {
    // Each iteration waits until every other one has started: this ends only
    // when every thread asked for takes part, however many rounds it takes
    // the pool to start or wake them.
    const unsigned width = DispatchQueue::concurrency();
    for (int round = 0; round < 3; ++round) {
        std::latch together(width);
        std::atomic<int> timedOut{0};
        DispatchQueue::concurrentPerform(width, [&](std::size_t) {
            together.count_down();
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!together.try_wait()) {
                if (std::chrono::steady_clock::now() > end) {
                    timedOut.fetch_add(1);
                    return;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        });
        ASSERT_EQ(timedOut.load(), 0) << "round " << round;
        // Between rounds the pool's threads go back to sleep.
        std::this_thread::sleep_for(std::chrono::milliseconds(round * 5));
    }
}

TEST(ConcurrentFeedTest, BlocksRunWhileBeingAddedEachOnceAndAreDroppedWhereAdded) {
    // The first block waits for the adder to go on past `add`, and the
    // adder waits for it before finishing: it must run on another thread,
    // without `finish`.
    ConcurrentFeed feed;
    std::atomic<bool> adderWentOn{false};
    std::atomic<bool> ranBeforeFinish{false};
    feed.add([&] {
        const auto end = std::chrono::steady_clock::now() + 20s;
        while (!adderWentOn.load() && std::chrono::steady_clock::now() < end) std::this_thread::yield();
        ranBeforeFinish = adderWentOn.load();
    });
    adderWentOn = true;

    // Several chunks' worth, each run once; what they hold is dropped on
    // this thread, not where they ran.
    constexpr std::size_t kBlocks = 3000;
    std::vector<std::atomic<int>> runs(kBlocks);
    const auto adder = std::this_thread::get_id();
    struct Held {
        std::thread::id adder;
        std::atomic<int>* droppedElsewhere;
        ~Held() {
            if (std::this_thread::get_id() != adder) droppedElsewhere->fetch_add(1);
        }
    };
    std::atomic<int> droppedElsewhere{0};
    for (std::size_t i = 0; i < kBlocks; ++i) {
        auto held = std::make_shared<Held>(Held{adder, &droppedElsewhere});
        feed.add([&runs, i, held] {
            runs[i].fetch_add(1);
            if (i % 97 == 0) std::this_thread::sleep_for(50us);
        });
    }
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (!ranBeforeFinish.load() && std::chrono::steady_clock::now() < end) std::this_thread::yield();
    EXPECT_TRUE(ranBeforeFinish.load());
    feed.finish();
    for (std::size_t i = 0; i < kBlocks; ++i) ASSERT_EQ(runs[i].load(), 1) << "block " << i;
    EXPECT_EQ(droppedElsewhere.load(), 0);

    // Finished, it runs what comes at once, here.
    bool here = false;
    feed.add([&] { here = std::this_thread::get_id() == adder; });
    EXPECT_TRUE(here);
}

TEST(ConcurrentFeedTest, FinishesWithABusyPoolAndPassesOnTheFirstException) {
    // Every pool thread held up: the caller runs every block itself.
    const auto release = holdEveryPoolThread();
    {
        ConcurrentFeed feed;
        std::atomic<int> done{0};
        for (int i = 0; i < 100; ++i) feed.add([&] { done.fetch_add(1); });
        feed.finish();
        EXPECT_EQ(done.load(), 100);
    }
    release->count_down();

    // Every block runs; the first exception reaches `finish`, once.
    ConcurrentFeed feed;
    std::atomic<int> ran{0};
    for (int i = 0; i < 64; ++i) {
        feed.add([&ran, i] {
            ran.fetch_add(1);
            if (i == 7 || i == 40) throw std::runtime_error("thrown");
        });
    }
    EXPECT_THROW(feed.finish(), std::runtime_error);
    EXPECT_EQ(ran.load(), 64);
    EXPECT_NO_THROW(feed.finish());
}

TEST(DispatchQueueTest, TheMainQueueRunsOnTheMainThread) {
    auto& main = DispatchQueue::main();
    EXPECT_TRUE(main.isCurrent());
    EXPECT_THROW(main.sync([] {}), std::logic_error);

    std::optional<bool> asyncOnMain;
    std::optional<bool> syncOnMain;
    std::thread worker([&] {
        EXPECT_FALSE(main.isCurrent());
        main.async([&] { asyncOnMain = platform::isMainThread(); });
        main.sync([&] { syncOnMain = platform::isMainThread(); });
    });
    EXPECT_TRUE(RunLoop::main()->runUntil([&] { return syncOnMain.has_value(); }, 60s));
    worker.join();
    ASSERT_TRUE(asyncOnMain.has_value());
    EXPECT_TRUE(asyncOnMain);
    EXPECT_TRUE(syncOnMain);
}

TEST(DispatchQueueTest, DelayedBlocksComeInTheOrderTheyFallDue) {
    DispatchQueue queue("com.vekmont.test.after");
    std::vector<int> order;  // touched on the queue only
    DispatchSemaphore done;
    const auto start = std::chrono::steady_clock::now();
    // Far enough apart that a loaded machine schedules all three before the
    // first falls due.
    queue.asyncAfter(600ms, [&] {
        order.push_back(600);
        done.signal();
    });
    queue.asyncAfter(300ms, [&] { order.push_back(300); });
    queue.asyncAfter(-5ms, [&] { order.push_back(0); });
    ASSERT_TRUE(done.wait(60s));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 600ms);
    queue.sync([&] { EXPECT_EQ(order, (std::vector<int>{0, 300, 600})); });
}

TEST(DispatchQueueTest, AQueueReleasedByItsOwnBlockFinishesItsWork) {
    std::promise<int> finished;
    {
        auto queue = std::make_shared<DispatchQueue>("com.vekmont.test.self-release");
        auto ran = std::make_shared<int>(0);
        queue->async([ran] { ++*ran; });
        // The last owner goes inside a block of the queue itself.
        queue->async([holder = std::make_shared<std::shared_ptr<DispatchQueue>>(queue)]() mutable { holder->reset(); });
        queue->async([ran, &finished] { finished.set_value(++*ran); });
        queue.reset();
    }
    auto result = finished.get_future();
    ASSERT_EQ(result.wait_for(60s), std::future_status::ready);
    EXPECT_EQ(result.get(), 2);
}

TEST(DispatchSemaphoreTest, TimesOutOrIsSignalledAcrossThreads) {
    EXPECT_THROW(DispatchSemaphore(-1), std::invalid_argument);

    DispatchSemaphore slots(2);
    EXPECT_TRUE(slots.wait(0ms));
    EXPECT_TRUE(slots.wait(0ms));
    EXPECT_FALSE(slots.wait(0ms));
    EXPECT_FALSE(slots.wait(20ms));

    DispatchSemaphore handover;
    std::thread signaller([&] { handover.signal(); });
    EXPECT_TRUE(handover.wait(60s));
    signaller.join();

    // On a virtual clock the time limit is reached by advancing.
    VirtualTime time;
    DispatchSemaphore never;
    std::promise<bool> outcome;
    std::thread waiter([&] { outcome.set_value(never.wait(5s)); });
    ASSERT_TRUE(time.clock->waitForWaiters(1, 60s));
    time.clock->advance(5s);
    EXPECT_FALSE(outcome.get_future().get());
    waiter.join();

    DispatchSemaphore later;
    std::promise<bool> signalled;
    std::thread patient([&] { signalled.set_value(later.wait(time.clock->instant() + 1h)); });
    ASSERT_TRUE(time.clock->waitForWaiters(1, 60s));
    later.signal();
    EXPECT_TRUE(signalled.get_future().get());
    patient.join();
    EXPECT_EQ(time.elapsed(), 5s);
}

namespace {

// Waits (in real time, generously) until another thread has closed the
// global queues.
bool closedWithin(std::chrono::seconds most) {
    const auto end = std::chrono::steady_clock::now() + most;
    while (!DispatchQueue::globalQueuesClosed()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace

TEST(GlobalQueuesClosingTest, ClosingWaitsForTheRunningBlocksStartsNoOtherAndDeliversNothingToTheMainQueue) {
    // Every pool thread in a block that ends once released; one more block
    // waits behind them.
    const unsigned held = DispatchQueue::concurrency();
    std::latch started(held);
    std::latch release(1);
    std::atomic<unsigned> ended{0};
    std::atomic<int> delivered{0};
    for (unsigned i = 0; i < held; ++i) {
        DispatchQueue::global(DispatchQueuePriority::High).async([&] {
            started.count_down();
            release.wait();
            DispatchQueue::main().async([&delivered] { delivered.fetch_add(1); });
            ended.fetch_add(1);
        });
    }
    started.wait();
    std::atomic<bool> waitingRan{false};
    auto waitingHolds = std::make_shared<int>(0);
    const std::weak_ptr<int> waitingHeld = waitingHolds;
    DispatchQueue::global(DispatchQueuePriority::Low).async([holds = std::move(waitingHolds), &waitingRan] {
        waitingRan = true;
    });

    std::promise<std::tuple<bool, unsigned, bool>> outcome;  // closed, blocks ended, the waiting one gone
    std::thread closer([&] {
        const bool closed = DispatchQueue::closeGlobalQueues(std::chrono::minutes(1));
        outcome.set_value({closed, ended.load(), waitingHeld.expired()});
    });
    ASSERT_TRUE(closedWithin(60s));
    EXPECT_FALSE(DispatchQueue::closeGlobalQueues(0ms)) << "the blocks still run";

    // Submitted now: destroyed at once, never run.
    std::atomic<bool> lateRan{false};
    auto lateHolds = std::make_shared<int>(0);
    const std::weak_ptr<int> lateHeld = lateHolds;
    DispatchQueue::global().async([holds = std::move(lateHolds), &lateRan] { lateRan = true; });
    EXPECT_TRUE(lateHeld.expired());

    release.count_down();
    auto result = outcome.get_future();
    ASSERT_EQ(result.wait_for(60s), std::future_status::ready);
    closer.join();
    const auto [closed, endedThen, waitingGone] = result.get();
    EXPECT_TRUE(closed);
    EXPECT_EQ(endedThen, held) << "closing returned while blocks still ran";
    EXPECT_TRUE(waitingGone) << "a block that never started is destroyed before closing returns";
    EXPECT_FALSE(waitingRan);
    EXPECT_FALSE(lateRan);

    // What the blocks posted to the main queue stays undelivered as the loop turns.
    bool turned = false;
    RunLoop::main()->post([&turned] { turned = true; });
    ASSERT_TRUE(RunLoop::main()->runUntil([&] { return turned; }, 60s));
    EXPECT_EQ(delivered.load(), 0);

    // Work the caller waits for still runs, on the caller.
    std::atomic<int> iterations{0};
    DispatchQueue::concurrentPerform(100, [&](std::size_t) { iterations.fetch_add(1); });
    EXPECT_EQ(iterations.load(), 100);
    std::thread::id syncThread;
    DispatchQueue::global().sync([&] { syncThread = std::this_thread::get_id(); });
    EXPECT_EQ(syncThread, std::this_thread::get_id());
    ConcurrentFeed feed;
    int fed = 0;  // the feed's blocks run here alone
    for (int i = 0; i < 10; ++i) feed.add([&fed] { ++fed; });
    feed.finish();
    EXPECT_EQ(fed, 10);
}

TEST(GlobalQueuesClosingTest, AFeedStillBeingAddedToLeavesItsBlocksToTheAdder) {
    DispatchQueue::reopenGlobalQueuesForTests();
    // Each block lasts until the next is added, so a pool thread that took
    // them one after another would never be idle while the adder adds.
    std::atomic<std::size_t> added{0};
    std::atomic<std::size_t> started{0};
    std::atomic<std::size_t> ran{0};
    std::atomic<bool> closeReturned{false};
    const auto block = [&](std::size_t index) {
        return [&, index] {
            started.fetch_add(1);
            while (added.load() <= index + 1 && !closeReturned.load()) std::this_thread::yield();
            ran.fetch_add(1);
        };
    };
    ConcurrentFeed feed;
    feed.add(block(0));
    added = 1;
    std::promise<bool> closed;
    std::thread closer([&] {
        while (started.load() == 0) std::this_thread::yield();
        closed.set_value(DispatchQueue::closeGlobalQueues(3s));
        closeReturned = true;
    });
    while (!closeReturned.load()) {
        const std::size_t next = added.load();
        if (started.load() < next) {
            std::this_thread::yield();
            continue;
        }
        feed.add(block(next));
        added = next + 1;
    }
    closer.join();
    EXPECT_TRUE(closed.get_future().get()) << "the close waited for the feed's adder";
    feed.finish();
    EXPECT_EQ(ran.load(), added.load());
}
