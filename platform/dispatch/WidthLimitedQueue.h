#pragma once
// A queue whose blocks run on the shared pool, started in the order they
// were queued, no more than `width` of them at a time: work that may not
// take the whole pool (drawing tiles while the compositor draws a frame's
// bands on the same threads) and whose blocks are worth taking back until
// they start. Any thread may queue, cancel and change the width.
//
// Destroyed, the queue drops the blocks that have not started; those
// running finish on their own (they keep what they need alive), and the
// destructor does not wait for them. Once the global queues are closed, no
// more blocks start.

#include "platform/dispatch/DispatchQueue.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

class WidthLimitedQueue {
public:
    // Names a queued block; 0 names none.
    using Ticket = std::uint64_t;

    // `label` is a reverse-DNS name, shown in diagnostics; a width of 0
    // counts as 1.
    WidthLimitedQueue(std::string label, unsigned width,
                      DispatchQueuePriority priority = DispatchQueuePriority::Default);
    ~WidthLimitedQueue();
    WidthLimitedQueue(const WidthLimitedQueue&) = delete;
    WidthLimitedQueue& operator=(const WidthLimitedQueue&) = delete;

    const std::string& label() const;

    // Queues the block and returns at once. A block that throws is reported
    // on standard error; the queue goes on. An empty block is not queued
    // (ticket 0).
    Ticket async(std::function<void()> block);

    // Takes the block out of the queue while it has not started, and
    // destroys it here: true. False when it has started (it runs to its
    // end), has run or was never queued.
    bool cancel(Ticket ticket);
    // Cancels every block that has not started; how many were.
    std::size_t cancelAll();

    // Blocks start while fewer than `width` run (0 counts as 1). A wider
    // queue starts what waits at once; a narrower one lets the blocks
    // running finish and starts no more until fewer run.
    void setWidth(unsigned width);
    unsigned width() const;

    // Blocks queued and not started, and blocks running.
    std::size_t waiting() const;
    std::size_t running() const;

    // Waits until no block waits or runs; false when `timeout` passed first
    // (real time).
    bool waitUntilIdle(std::chrono::milliseconds timeout) const;

    struct State;

private:
    std::shared_ptr<State> mState;
};

}  // namespace platform
