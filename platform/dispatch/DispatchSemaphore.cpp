#include "platform/dispatch/DispatchSemaphore.h"

#include "platform/dispatch/Deadline.h"

#include <condition_variable>
#include <mutex>
#include <stdexcept>

namespace platform {

struct DispatchSemaphore::State {
    std::mutex mutex;
    std::condition_variable signalled;
    long count = 0;
};

DispatchSemaphore::DispatchSemaphore(long value) : mState(std::make_unique<State>()) {
    if (value < 0) throw std::invalid_argument("DispatchSemaphore: negative start value");
    mState->count = value;
}

DispatchSemaphore::~DispatchSemaphore() = default;

void DispatchSemaphore::signal() {
    {
        std::lock_guard lock(mState->mutex);
        ++mState->count;
    }
    mState->signalled.notify_one();
}

void DispatchSemaphore::wait() {
    std::unique_lock lock(mState->mutex);
    mState->signalled.wait(lock, [this] { return mState->count > 0; });
    --mState->count;
}

bool DispatchSemaphore::wait(Clock::Duration timeout) {
    return wait(deadlineAfter(Clock::shared()->instant(), timeout));
}

bool DispatchSemaphore::wait(Clock::Instant deadline) {
    const auto clock = Clock::shared();
    auto* virtualClock = dynamic_cast<VirtualClock*>(clock.get());
    State& state = *mState;
    auto available = [&state] { return state.count > 0; };
    std::unique_lock lock(state.mutex);
    if (!available() && !virtualClock) {
        state.signalled.wait_until(lock, deadline, available);
    } else if (!available()) {
        // Real time bounds the wait as well, so that a test that never
        // advances does not hang.
        const auto realLimit = deadlineAfter(std::chrono::steady_clock::now(), deadline - clock->instant());
        lock.unlock();
        const auto waiter = virtualClock->addWaiter(deadline, [&state] {
            { std::lock_guard wakeLock(state.mutex); }
            state.signalled.notify_all();
        });
        lock.lock();
        state.signalled.wait_until(lock, realLimit, [&] { return available() || clock->instant() >= deadline; });
        lock.unlock();
        virtualClock->removeWaiter(waiter);
        lock.lock();
    }
    if (!available()) return false;
    --state.count;
    return true;
}

}  // namespace platform
