#pragma once
// A run loop: blocks posted from any thread, run in order on the thread
// that runs the loop. Each thread has its own (RunLoop::current()); stream
// events are delivered through the loop a stream is scheduled on.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace platform {

class RunLoop : public std::enable_shared_from_this<RunLoop> {
public:
    using Clock = std::chrono::steady_clock;

    // The calling thread's loop, made on first use.
    static std::shared_ptr<RunLoop> current();

    // Queues the block; safe from any thread. Wakes a waiting runUntil().
    void post(std::function<void()> block);

    // Runs posted blocks until `deadline`; returns as soon as the deadline
    // passes or stop() is called. True when at least one block ran.
    bool runUntil(Clock::time_point deadline);
    // Runs blocks until `done()` holds (checked after each block and on
    // every wake-up) or `timeout` passes; true when `done()` held.
    bool runUntil(const std::function<bool()>& done, Clock::duration timeout);

    // Makes the running runUntil() return after its current block. A stop
    // while nothing runs the loop is kept: the next runUntil() returns at
    // once, so a stop is never lost to a race with the start of a run.
    void stop();

    bool isCurrent() const;

private:
    RunLoop() = default;
    std::mutex mMutex;
    std::condition_variable mWake;
    std::deque<std::function<void()>> mBlocks;
    bool mStopRequested = false;
    const void* mOwnerThread = nullptr;
};

}  // namespace platform
