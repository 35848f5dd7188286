#include "platform/dispatch/DispatchQueue.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <future>
#include <latch>
#include <stdexcept>
#include <thread>
#include <vector>

using platform::DispatchQueue;

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
