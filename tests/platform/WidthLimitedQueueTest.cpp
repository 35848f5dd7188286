// The width-limited queue: no more blocks run at once than its width, and
// changing the width takes effect at once; blocks start in the order queued;
// a cancelled block never runs and goes at once; the destructor drops what
// waits without waiting for what runs; a block that throws stops nothing;
// nothing starts once the global queues are closed.

#include "platform/dispatch/WidthLimitedQueue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <set>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using platform::DispatchQueue;
using platform::WidthLimitedQueue;
using namespace std::chrono_literals;

namespace {

// What the blocks of a test share: a gate they wait at, how many run, and
// what they saw when they started.
struct Blocks {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    int running = 0;
    std::vector<int> started;           // the blocks' numbers, as they started
    std::map<int, int> runningAtStart;  // by number: how many ran then, itself included

    // A failed test still lets its blocks end before they lose this.
    ~Blocks() {
        release();
        waitForRunning(0);
    }

    std::function<void()> held(int number) {
        return [this, number] {
            std::unique_lock lock(mutex);
            ++running;
            started.push_back(number);
            runningAtStart[number] = running;
            changed.notify_all();
            changed.wait(lock, [this] { return open; });
            --running;
            changed.notify_all();
        };
    }
    void release() {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
    bool waitForRunning(int count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 20s, [&] { return running == count; });
    }
};

}  // namespace

TEST(WidthLimitedQueueTest, NoMoreBlocksRunAtOnceThanItsWidthWhichTakesEffectAtOnce) {
    Blocks blocks;
    WidthLimitedQueue queue("com.vekmont.test.width", 2);
    for (int i = 0; i < 6; ++i) queue.async(blocks.held(i));
    ASSERT_TRUE(blocks.waitForRunning(2));
    // Both runners are inside blocks that wait: nothing else can start.
    EXPECT_EQ(queue.running(), 2u);
    EXPECT_EQ(queue.waiting(), 4u);

    queue.setWidth(4);
    ASSERT_TRUE(blocks.waitForRunning(4)) << "a wider queue starts what waits";
    EXPECT_EQ(queue.waiting(), 2u);

    // Narrowed, the four running finish and the rest run one at a time.
    queue.setWidth(0);
    EXPECT_EQ(queue.width(), 1u);
    blocks.release();
    ASSERT_TRUE(queue.waitUntilIdle(20000ms));
    std::lock_guard lock(blocks.mutex);
    ASSERT_EQ(blocks.runningAtStart.size(), 6u);
    EXPECT_EQ(std::set<int>(blocks.started.begin(), blocks.started.begin() + 2), (std::set<int>{0, 1}));
    EXPECT_EQ(std::set<int>(blocks.started.begin() + 2, blocks.started.begin() + 4), (std::set<int>{2, 3}));
    EXPECT_EQ(blocks.runningAtStart[4], 1);
    EXPECT_EQ(blocks.runningAtStart[5], 1);
}

TEST(WidthLimitedQueueTest, BlocksStartInTheOrderQueuedAndACancelledOneNeverRunsAndGoesAtOnce) {
    Blocks blocks;
    WidthLimitedQueue queue("com.vekmont.test.order", 1);
    const WidthLimitedQueue::Ticket first = queue.async(blocks.held(0));
    ASSERT_TRUE(blocks.waitForRunning(1));
    std::vector<WidthLimitedQueue::Ticket> tickets;
    std::vector<std::weak_ptr<int>> held;
    for (int i = 1; i <= 10; ++i) {
        auto token = std::make_shared<int>(i);
        held.push_back(token);
        tickets.push_back(queue.async([&blocks, i, token] {
            std::lock_guard lock(blocks.mutex);
            blocks.started.push_back(*token);
        }));
    }
    EXPECT_TRUE(queue.cancel(tickets[2]));
    EXPECT_TRUE(held[2].expired()) << "a cancelled block kept";
    EXPECT_TRUE(queue.cancel(tickets[6]));
    EXPECT_FALSE(queue.cancel(tickets[6])) << "cancelled twice";
    EXPECT_FALSE(queue.cancel(first)) << "a running block cannot be called off";
    EXPECT_FALSE(queue.cancel(0));
    EXPECT_EQ(queue.async(nullptr), 0u);

    blocks.release();
    ASSERT_TRUE(queue.waitUntilIdle(20000ms));
    EXPECT_FALSE(queue.cancel(tickets[0])) << "a block that ran";
    std::lock_guard lock(blocks.mutex);
    EXPECT_EQ(blocks.started, (std::vector<int>{0, 1, 2, 4, 5, 6, 8, 9, 10}));
}

TEST(WidthLimitedQueueTest, DestroyedItDropsWhatWaitsAndLetsWhatRunsFinishOnItsOwn) {
    Blocks blocks;
    auto token = std::make_shared<int>(1);
    std::weak_ptr<int> waiting = token;
    bool ran = false;
    {
        WidthLimitedQueue queue("com.vekmont.test.drop", 1);
        queue.async(blocks.held(0));
        ASSERT_TRUE(blocks.waitForRunning(1));
        queue.async([token = std::move(token), &ran] { ran = true; });
        EXPECT_FALSE(queue.waitUntilIdle(10ms)) << "idle while a block runs";
    }
    // Had the destructor waited for the held block, it would never have
    // returned.
    EXPECT_TRUE(waiting.expired());
    blocks.release();
    ASSERT_TRUE(blocks.waitForRunning(0));
    EXPECT_FALSE(ran);

    WidthLimitedQueue queue("com.vekmont.test.throw", 1);
    queue.async([] { throw std::runtime_error("a tile that could not be drawn"); });
    queue.async(blocks.held(1));
    ASSERT_TRUE(queue.waitUntilIdle(20000ms)) << "a block that threw stopped the queue";
    std::lock_guard lock(blocks.mutex);
    EXPECT_EQ(blocks.started, (std::vector<int>{0, 1}));
}

TEST(WidthLimitedQueueTest, OnceTheGlobalQueuesCloseNoWaitingBlockStarts) {
    Blocks blocks;
    WidthLimitedQueue queue("com.vekmont.test.closing", 1);
    queue.async(blocks.held(0));
    ASSERT_TRUE(blocks.waitForRunning(1));
    bool ran = false;
    queue.async([&ran] { ran = true; });

    // Closing waits for the runner; had it gone on to the waiting block,
    // that would have run before closing returned.
    std::promise<bool> closed;
    std::thread closer([&] { closed.set_value(DispatchQueue::closeGlobalQueues(std::chrono::minutes(1))); });
    const auto end = std::chrono::steady_clock::now() + 60s;
    while (!DispatchQueue::globalQueuesClosed() && std::chrono::steady_clock::now() < end) std::this_thread::yield();
    ASSERT_TRUE(DispatchQueue::globalQueuesClosed());
    blocks.release();
    auto result = closed.get_future();
    ASSERT_EQ(result.wait_for(60s), std::future_status::ready);
    closer.join();
    EXPECT_TRUE(result.get());
    EXPECT_FALSE(ran);
    EXPECT_EQ(queue.waiting(), 1u);
    EXPECT_EQ(queue.running(), 0u);

    queue.async([&ran] { ran = true; });
    EXPECT_EQ(queue.waiting(), 2u) << "nothing starts once closed";
}
