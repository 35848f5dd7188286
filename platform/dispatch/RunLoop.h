#pragma once
// A run loop: blocks posted from any thread and timers, run in order on the
// thread that runs the loop. Each thread has its own (RunLoop::current());
// the main thread's is RunLoop::main(). Stream events are delivered through
// the loop a stream is scheduled on.
//
// Modes: a loop runs in the default mode or in the tracking mode (while a
// touch is tracked). A timer fires only while the loop runs in one of its
// modes; Common means both. Posted blocks run in every mode.
//
// Time comes from Clock::shared(). On a virtual clock timers fall due only
// when the clock is advanced.

#include "platform/dispatch/Clock.h"

#include <functional>
#include <memory>

namespace platform {

enum class RunLoopMode { Default, Tracking, Common };

class RunLoop : public std::enable_shared_from_this<RunLoop> {
public:
    // A handle on a scheduled timer; copies share the timer.
    class Timer {
    public:
        Timer() = default;
        // No more fires. Safe from any thread and from the timer's own
        // block; a fire already running finishes.
        void cancel();
        // True until cancelled, and for a one-shot timer until it has fired.
        bool isValid() const;

    private:
        friend class RunLoop;
        struct State;
        explicit Timer(std::shared_ptr<State> state) : mState(std::move(state)) {}
        std::shared_ptr<State> mState;
    };
    using TimerBlock = std::function<void(Timer&)>;

    // Sets the mode the loop is in for the scope, on the loop's own thread:
    // what a run in that mode would fire is what advancing a virtual clock
    // fires. Throws std::logic_error off the loop's thread.
    class ScopedMode {
    public:
        ScopedMode(RunLoop& loop, RunLoopMode mode);
        ~ScopedMode();
        ScopedMode(const ScopedMode&) = delete;
        ScopedMode& operator=(const ScopedMode&) = delete;

    private:
        RunLoop& mLoop;
    };

    ~RunLoop();

    // The calling thread's loop, made on first use; on the main thread, main().
    static std::shared_ptr<RunLoop> current();
    // The main thread's loop (the process's initial thread), from any thread.
    static std::shared_ptr<RunLoop> main();

    // Queues the block; safe from any thread. Wakes a waiting run.
    void post(std::function<void()> block);
    // Runs the block once `delay` has passed, in every mode.
    Timer postAfter(Clock::Duration delay, std::function<void()> block);
    // Calls `block` after `interval`, and every `interval` after that when
    // `repeats` (a repeating interval must be positive), while the loop runs
    // in `mode`. A due timer whose mode is not running waits for it; a
    // repeating timer that missed fires skips them. Safe from any thread.
    Timer scheduleTimer(Clock::Duration interval, bool repeats, TimerBlock block,
                        RunLoopMode mode = RunLoopMode::Default);

    // Runs posted blocks and due timers until the clock reaches `deadline`
    // or stop() is called; true when anything ran. On a virtual clock the
    // run waits for advance(), or moves the clock itself when it auto-advances.
    bool runUntil(Clock::Instant deadline, RunLoopMode mode = RunLoopMode::Default);
    // Runs until `done()` holds (checked after each block and on every
    // wake-up) or `timeout` passes; true when `done()` held. The timeout is
    // real time on every clock: on a virtual clock the run never moves time.
    bool runUntil(const std::function<bool()>& done, Clock::Duration timeout, RunLoopMode mode = RunLoopMode::Default);
    // Runs until stop().
    void run(RunLoopMode mode = RunLoopMode::Default);

    // Makes the running run return after its current block. A stop while
    // nothing runs the loop is kept: the next run returns at once, so a
    // stop is never lost to a race with the start of a run.
    void stop();

    bool isCurrent() const;
    // The mode the loop is in (Default when not running); on its own thread.
    RunLoopMode currentMode() const;

private:
    friend class VirtualClock;
    struct Impl;

    explicit RunLoop(bool isMain);
    Timer schedule(Clock::Duration delay, Clock::Duration interval, TimerBlock block, RunLoopMode mode);
    bool runLoop(const Clock::Instant* deadline, const std::function<bool()>* done, Clock::Duration timeout,
                 RunLoopMode mode);

    // For a virtual clock advanced on this loop's thread.
    static RunLoop* currentIfAny();
    bool nextDueTimer(Clock::Instant& due, std::uint64_t& sequence);
    void fireDueTimer(Clock::Instant now);
    void runPostedBlocks();

    std::shared_ptr<Impl> mImpl;
};

}  // namespace platform
