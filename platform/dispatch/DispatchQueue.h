#pragma once
// Serial dispatch queues: one worker thread per queue runs submitted blocks
// in submission order. Stands in for the libdispatch serial queues that the
// logger, the performance counters and the caches own.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace platform {

class DispatchQueue {
public:
    // `label` is a reverse-DNS name, shown in thread names and diagnostics.
    explicit DispatchQueue(std::string label);
    // Runs every block already submitted, then stops the worker.
    ~DispatchQueue();

    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    const std::string& label() const { return mLabel; }

    // Queues the block and returns at once.
    void async(std::function<void()> block);

    // Queues the block and waits until it has run. Calling it from a block
    // already running on this queue would deadlock on the real platform; here
    // it throws std::logic_error instead.
    void sync(const std::function<void()>& block);

    // True when called from a block running on this queue.
    bool isCurrent() const;

private:
    void run();

    std::string mLabel;
    std::mutex mMutex;
    std::condition_variable mWake;
    std::deque<std::function<void()>> mBlocks;
    bool mStopping = false;
    std::thread mWorker;
};

// Runs `block` exactly once per flag, also under concurrent first calls.
using OnceFlag = std::once_flag;
template <typename Block>
void once(OnceFlag& flag, Block&& block) {
    std::call_once(flag, std::forward<Block>(block));
}

}  // namespace platform
