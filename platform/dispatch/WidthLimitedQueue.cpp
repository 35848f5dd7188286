#include "platform/dispatch/WidthLimitedQueue.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace platform {

// Shared by the queue and the runners it hands to the pool: a runner takes
// blocks one after the other until none waits or the queue has more
// runners than its width.
struct WidthLimitedQueue::State : std::enable_shared_from_this<State> {
    State(std::string queueLabel, unsigned queueWidth, DispatchQueuePriority queuePriority)
        : label(std::move(queueLabel)), priority(queuePriority), width(std::max(1u, queueWidth)) {}

    // Hands runners to the pool until as many as the width are there or
    // one is there for every block waiting; lets go of the lock. Once the
    // global queues are closed, none: the blocks wait for the queue to go.
    void startRunners(std::unique_lock<std::mutex>& lock) {
        unsigned more = 0;
        while (runners < width && runners - running < blocks.size() && !DispatchQueue::globalQueuesClosed()) {
            ++runners;
            ++more;
        }
        lock.unlock();
        for (unsigned i = 0; i < more; ++i) {
            DispatchQueue::global(priority).async([state = shared_from_this()] { state->run(); });
        }
    }

    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            if (blocks.empty() || runners > width || DispatchQueue::globalQueuesClosed()) {
                --runners;
                return;
            }
            std::function<void()> block = std::move(blocks.begin()->second);
            blocks.erase(blocks.begin());
            ++running;
            lock.unlock();
            runCaught(block);
            block = nullptr;  // what it holds goes before the queue is told
            lock.lock();
            --running;
            if (blocks.empty() && running == 0) changed.notify_all();
        }
    }

    void runCaught(const std::function<void()>& block) const {
        try {
            block();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "WidthLimitedQueue '%s': block threw: %s\n", label.c_str(), e.what());
        } catch (...) {
            std::fprintf(stderr, "WidthLimitedQueue '%s': block threw an unknown exception\n", label.c_str());
        }
    }

    const std::string label;
    const DispatchQueuePriority priority;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;  // the queue fell idle
    // By ticket, so in the order queued.
    std::map<Ticket, std::function<void()>> blocks;
    Ticket next = 1;
    unsigned width;
    unsigned runners = 0;  // handed to the pool and not yet ended
    unsigned running = 0;  // runners inside a block
};

WidthLimitedQueue::WidthLimitedQueue(std::string label, unsigned width, DispatchQueuePriority priority)
    : mState(std::make_shared<State>(std::move(label), width, priority)) {}

WidthLimitedQueue::~WidthLimitedQueue() { cancelAll(); }

const std::string& WidthLimitedQueue::label() const { return mState->label; }

WidthLimitedQueue::Ticket WidthLimitedQueue::async(std::function<void()> block) {
    if (!block) return 0;
    State& state = *mState;
    std::unique_lock lock(state.mutex);
    const Ticket ticket = state.next++;
    state.blocks.emplace(ticket, std::move(block));
    state.startRunners(lock);
    return ticket;
}

bool WidthLimitedQueue::cancel(Ticket ticket) {
    std::function<void()> dropped;
    {
        std::lock_guard lock(mState->mutex);
        const auto found = mState->blocks.find(ticket);
        if (found == mState->blocks.end()) return false;
        dropped = std::move(found->second);
        mState->blocks.erase(found);
        if (mState->blocks.empty() && mState->running == 0) mState->changed.notify_all();
    }
    return true;  // the block goes here, outside the lock
}

std::size_t WidthLimitedQueue::cancelAll() {
    std::map<Ticket, std::function<void()>> dropped;
    {
        std::lock_guard lock(mState->mutex);
        dropped.swap(mState->blocks);
        if (mState->running == 0) mState->changed.notify_all();
    }
    return dropped.size();
}

void WidthLimitedQueue::setWidth(unsigned width) {
    std::unique_lock lock(mState->mutex);
    mState->width = std::max(1u, width);
    mState->startRunners(lock);
}

unsigned WidthLimitedQueue::width() const {
    std::lock_guard lock(mState->mutex);
    return mState->width;
}

std::size_t WidthLimitedQueue::waiting() const {
    std::lock_guard lock(mState->mutex);
    return mState->blocks.size();
}

std::size_t WidthLimitedQueue::running() const {
    std::lock_guard lock(mState->mutex);
    return mState->running;
}

bool WidthLimitedQueue::waitUntilIdle(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mState->mutex);
    return mState->changed.wait_for(lock, timeout, [this] { return mState->blocks.empty() && mState->running == 0; });
}

}  // namespace platform
