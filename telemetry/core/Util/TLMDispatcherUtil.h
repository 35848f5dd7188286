#pragma once
// Small helpers for running blocks on the main thread and waiting for a
// queue with a time limit.

#include <functional>

namespace platform {
class DispatchQueue;
}

class TLMDispatcherUtil {
public:
    // On the main thread runs the block at once; from any other thread
    // posts it to the main run loop and returns.
    static void performBlockOnMainThread(std::function<void()> block);

    // Queues the block on the queue and waits until it has run or
    // `timeout` seconds have passed, whichever comes first. After a time-out
    // the block still runs later, with everything it holds kept alive.
    static void dispatchSyncWithTimeout(double timeout, platform::DispatchQueue& queue, std::function<void()> block);

    // Runs the block.
    static void runBlock(const std::function<void()>& block);
};
