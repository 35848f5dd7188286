#pragma once
// The process's one clock, with two faces: a monotonic one (Instant) for
// timers, delays and timeouts, and the calendar date (now()) for everything
// kept as a date (expiry, launch dates, request dates, retry timing).
//
// Clock::shared() is the real clock unless a test installs another with
// ScopedClock. A VirtualClock moves only when told to (advance), so tests
// drive timers, delayed blocks, display-link frames and sleeping threads
// deterministically.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

class RunLoop;
class DispatchSemaphore;

class Clock {
public:
    using Instant = std::chrono::steady_clock::time_point;
    using Duration = std::chrono::steady_clock::duration;
    using Date = std::chrono::system_clock::time_point;

    virtual ~Clock() = default;

    // The monotonic face.
    virtual Instant instant() const = 0;
    // The calendar date.
    virtual Date now() const = 0;

    // Blocks the calling thread until the monotonic face reaches `deadline`.
    virtual void sleepUntil(Instant deadline) = 0;
    void sleepFor(Duration duration) { sleepUntil(instant() + duration); }

    // Calls `action` once the monotonic face reaches `due`, on the thread
    // that notices: the real clock's timer thread, or the thread that
    // advances a virtual clock. The action must be short and must not
    // block; it hands work to a queue or a loop.
    virtual void callAt(Instant due, std::function<void()> action) = 0;

    // The clock in use: the real one unless a ScopedClock installed another.
    // Holding the pointer keeps that clock alive.
    static std::shared_ptr<Clock> shared();
};

// Installs `clock` as Clock::shared() for its lifetime, then restores the
// clock that was there before. Scopes nest; end them in reverse order.
class ScopedClock {
public:
    explicit ScopedClock(std::shared_ptr<Clock> clock);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    std::shared_ptr<Clock> mPrevious;
};

// A clock for tests. Nothing moves it but advance() (and, with auto-advance,
// a thread that sleeps on it). advance() fires everything that falls due in
// time order, ties in the order they were scheduled: the advancing thread's
// own run-loop timers (the main loop's, when the main thread advances) run
// inline, each at its time, with the blocks they post; delayed queue blocks
// are handed to their queues; threads waiting on the clock are woken.
// Delayed blocks still pending when the clock goes are dropped.
class VirtualClock final : public Clock {
public:
    // Starts at the real clock's present.
    VirtualClock();
    // Starts with `date` on the calendar face.
    explicit VirtualClock(Date date);
    ~VirtualClock() override;

    Instant instant() const override;
    Date now() const override;

    // Waits until advance() reaches `deadline`; with auto-advance the
    // calling thread moves the clock there at once.
    void sleepUntil(Instant deadline) override;
    void callAt(Instant due, std::function<void()> action) override;

    // Moves both faces by `duration` (not negative), firing what falls due.
    void advance(Duration duration);
    // Sets the calendar face; the monotonic face stays.
    void setDate(Date date);

    // When on, a thread that sleeps on the clock (sleepUntil, or a run loop
    // run until a deadline with nothing to do) moves it to its deadline at
    // once, so waits take no real time while the clock shows them.
    void setAutoAdvance(bool on);
    bool autoAdvance() const;

    // Waits (at most `realTimeout` in real time) until at least `count`
    // threads wait for a time on this clock: sleepers, loops waiting for a
    // deadline or a timer, semaphore waits with a time limit. True when they
    // do. Lets a test advance only once a worker has begun to wait.
    bool waitForWaiters(std::size_t count, Duration realTimeout) const;

private:
    friend class RunLoop;
    friend class DispatchSemaphore;

    // Moves the clock to `target` (when later than now), firing what falls due.
    void advanceTo(Instant target);
    // Registers a wait for the clock to reach `due`; `wake` runs on the
    // advancing thread when it does. Call both without holding a lock that
    // `wake` takes; after removeWaiter() returns, `wake` is not running and
    // will not run.
    std::uint64_t addWaiter(Instant due, std::function<void()> wake);
    void removeWaiter(std::uint64_t id);
    // Orders timers and delayed blocks scheduled for the same instant.
    static std::uint64_t nextSequence();

    struct State;
    std::unique_ptr<State> mState;
};

}  // namespace platform
