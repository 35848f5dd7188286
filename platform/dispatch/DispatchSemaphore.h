#pragma once
// A counting semaphore: wait() takes one from the count, waiting while it is
// zero; signal() gives one back and wakes a waiter.

#include "platform/dispatch/Clock.h"

#include <memory>

namespace platform {

class DispatchSemaphore {
public:
    // `value` is the count to start with; a negative count is refused
    // (std::invalid_argument).
    explicit DispatchSemaphore(long value = 0);
    ~DispatchSemaphore();
    DispatchSemaphore(const DispatchSemaphore&) = delete;
    DispatchSemaphore& operator=(const DispatchSemaphore&) = delete;

    void signal();
    // Waits without a time limit.
    void wait();
    // Waits until `deadline` on Clock::shared()'s monotonic face; true when
    // signalled, false when the time ran out. On a virtual clock the wait
    // also ends when advance() reaches the deadline, and never lasts longer
    // in real time than the deadline was away when it began; it does not
    // move the clock.
    bool wait(Clock::Instant deadline);
    bool wait(Clock::Duration timeout);

private:
    struct State;
    std::unique_ptr<State> mState;
};

}  // namespace platform
