#include "platform/dispatch/RunLoop.h"

#include "platform/dispatch/Deadline.h"
#include "platform/dispatch/MainThread.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace platform {

namespace {

using Key = std::pair<Clock::Instant, std::uint64_t>;

thread_local std::shared_ptr<RunLoop> tCurrent;
thread_local char tThreadTag;

unsigned modeBits(RunLoopMode mode) {
    switch (mode) {
        case RunLoopMode::Default: return 1;
        case RunLoopMode::Tracking: return 2;
        case RunLoopMode::Common: return 3;
    }
    return 0;
}

void requireRunnable(RunLoopMode mode) {
    if (mode == RunLoopMode::Common) throw std::invalid_argument("a run loop runs in one mode, not in Common");
}

}  // namespace

struct RunLoop::Impl {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> blocks;
    std::map<Key, std::shared_ptr<Timer::State>> timers;
    // Bumped by every post, timer change, stop and clock wake-up, so that a
    // waiting run sees that something changed.
    std::uint64_t signals = 0;
    bool stopRequested = false;

    // The loop's own thread only:
    std::vector<RunLoopMode> modes;
    std::uint64_t ran = 0;  // blocks and timer fires, also those run by a clock's advance
    bool isMain = false;
    const void* ownerThread = nullptr;

    void signal(std::unique_lock<std::mutex>& lock) {
        ++signals;
        lock.unlock();
        wake.notify_all();
    }
    // The first timer of `bits`, due or not.
    std::map<Key, std::shared_ptr<Timer::State>>::iterator firstTimer(unsigned bits);
};

struct RunLoop::Timer::State {
    std::weak_ptr<RunLoop::Impl> loop;
    Clock::Duration interval{};
    bool repeats = false;
    unsigned modes = 0;
    TimerBlock block;
    std::atomic<bool> valid{true};
    // Under the loop's mutex:
    Key key{};
    bool scheduled = false;
    bool firing = false;
};

std::map<Key, std::shared_ptr<RunLoop::Timer::State>>::iterator RunLoop::Impl::firstTimer(unsigned bits) {
    return std::find_if(timers.begin(), timers.end(), [bits](const auto& entry) { return entry.second->modes & bits; });
}

void RunLoop::Timer::cancel() {
    if (!mState) return;
    mState->valid = false;
    auto impl = mState->loop.lock();
    if (!impl) return;
    TimerBlock dead;  // what the block holds goes after the lock is let go
    std::unique_lock lock(impl->mutex);
    if (mState->scheduled) {
        impl->timers.erase(mState->key);
        mState->scheduled = false;
    }
    if (!mState->firing) dead = std::move(mState->block);
    impl->signal(lock);
}

bool RunLoop::Timer::isValid() const { return mState && mState->valid; }

RunLoop::ScopedMode::ScopedMode(RunLoop& loop, RunLoopMode mode) : mLoop(loop) {
    requireRunnable(mode);
    if (!loop.isCurrent()) throw std::logic_error("a run loop's mode is set on its own thread");
    loop.mImpl->modes.push_back(mode);
}

RunLoop::ScopedMode::~ScopedMode() { mLoop.mImpl->modes.pop_back(); }

RunLoop::RunLoop(bool isMain) : mImpl(std::make_shared<Impl>()) { mImpl->isMain = isMain; }

RunLoop::~RunLoop() = default;

std::shared_ptr<RunLoop> RunLoop::main() {
    static const auto* loop = new std::shared_ptr<RunLoop>(new RunLoop(true));  // lives as long as the process
    return *loop;
}

std::shared_ptr<RunLoop> RunLoop::current() {
    if (isMainThread()) return main();
    if (!tCurrent) {
        tCurrent = std::shared_ptr<RunLoop>(new RunLoop(false));
        tCurrent->mImpl->ownerThread = &tThreadTag;
    }
    return tCurrent;
}

RunLoop* RunLoop::currentIfAny() { return isMainThread() ? main().get() : tCurrent.get(); }

bool RunLoop::isCurrent() const { return mImpl->isMain ? isMainThread() : mImpl->ownerThread == &tThreadTag; }

RunLoopMode RunLoop::currentMode() const { return mImpl->modes.empty() ? RunLoopMode::Default : mImpl->modes.back(); }

void RunLoop::post(std::function<void()> block) {
    if (!block) return;
    std::unique_lock lock(mImpl->mutex);
    mImpl->blocks.push_back(std::move(block));
    mImpl->signal(lock);
}

RunLoop::Timer RunLoop::postAfter(Clock::Duration delay, std::function<void()> block) {
    if (!block) return {};
    return schedule(
        delay, Clock::Duration::zero(), [block = std::move(block)](Timer&) { block(); }, RunLoopMode::Common);
}

RunLoop::Timer RunLoop::scheduleTimer(Clock::Duration interval, bool repeats, TimerBlock block, RunLoopMode mode) {
    if (repeats && interval <= Clock::Duration::zero()) {
        throw std::invalid_argument("a repeating timer needs a positive interval");
    }
    if (!block) return {};
    return schedule(interval, repeats ? interval : Clock::Duration::zero(), std::move(block), mode);
}

RunLoop::Timer RunLoop::schedule(Clock::Duration delay, Clock::Duration interval, TimerBlock block, RunLoopMode mode) {
    auto state = std::make_shared<Timer::State>();
    state->loop = mImpl;
    state->interval = interval;
    state->repeats = interval > Clock::Duration::zero();
    state->modes = modeBits(mode);
    state->block = std::move(block);
    const auto due = deadlineAfter(Clock::shared()->instant(), delay);
    std::unique_lock lock(mImpl->mutex);
    state->key = Key{due, VirtualClock::nextSequence()};
    state->scheduled = true;
    mImpl->timers.emplace(state->key, state);
    mImpl->signal(lock);
    return Timer(std::move(state));
}

void RunLoop::stop() {
    std::unique_lock lock(mImpl->mutex);
    mImpl->stopRequested = true;
    mImpl->signal(lock);
}

bool RunLoop::nextDueTimer(Clock::Instant& due, std::uint64_t& sequence) {
    std::lock_guard lock(mImpl->mutex);
    auto timer = mImpl->firstTimer(modeBits(currentMode()));
    if (timer == mImpl->timers.end()) return false;
    due = timer->first.first;
    sequence = timer->first.second;
    return true;
}

void RunLoop::fireDueTimer(Clock::Instant now) {
    std::unique_lock lock(mImpl->mutex);
    auto timer = mImpl->firstTimer(modeBits(currentMode()));
    if (timer == mImpl->timers.end() || timer->first.first > now) return;
    auto state = timer->second;
    mImpl->timers.erase(timer);
    state->scheduled = false;
    state->firing = true;
    lock.unlock();
    ++mImpl->ran;

    // Runs whether the block returns or throws: the timer goes on or ends.
    struct Finish {
        Impl& impl;
        std::shared_ptr<Timer::State> state;
        Clock::Instant now;
        ~Finish() {
            TimerBlock dead;
            std::lock_guard lock(impl.mutex);
            state->firing = false;
            if (state->repeats && state->valid) {
                // Missed fires are skipped, as when the loop was busy.
                auto next = state->key.first + state->interval;
                if (next <= now) next += ((now - next) / state->interval + 1) * state->interval;
                state->key.first = next;
                state->scheduled = true;
                impl.timers.emplace(state->key, state);
            } else {
                state->valid = false;
                dead = std::move(state->block);
            }
        }
    };
    Timer handle(state);
    Finish finish{*mImpl, state, now};
    state->block(handle);
}

void RunLoop::runPostedBlocks() {
    std::unique_lock lock(mImpl->mutex);
    while (!mImpl->blocks.empty()) {
        auto block = std::move(mImpl->blocks.front());
        mImpl->blocks.pop_front();
        lock.unlock();
        ++mImpl->ran;
        block();
        block = nullptr;
        lock.lock();
    }
}

bool RunLoop::runUntil(Clock::Instant deadline, RunLoopMode mode) { return runLoop(&deadline, nullptr, {}, mode); }

bool RunLoop::runUntil(const std::function<bool()>& done, Clock::Duration timeout, RunLoopMode mode) {
    return runLoop(nullptr, &done, timeout, mode);
}

void RunLoop::run(RunLoopMode mode) {
    const auto forever = Clock::Instant::max();
    runLoop(&forever, nullptr, {}, mode);
}

bool RunLoop::runLoop(const Clock::Instant* deadline, const std::function<bool()>* done, Clock::Duration timeout,
                      RunLoopMode mode) {
    requireRunnable(mode);
    if (!isCurrent()) throw std::logic_error("a run loop runs on its own thread only");
    const auto clock = Clock::shared();
    auto* virtualClock = dynamic_cast<VirtualClock*>(clock.get());
    const auto realLimit = done ? deadlineAfter(std::chrono::steady_clock::now(), timeout) : Clock::Instant::max();
    ScopedMode scopedMode(*this, mode);
    Impl& impl = *mImpl;
    const unsigned bits = modeBits(mode);
    const auto ranBefore = impl.ran;
    auto ranAny = [&] { return impl.ran != ranBefore; };

    std::unique_lock lock(impl.mutex);
    for (;;) {
        if (done) {
            lock.unlock();
            if ((*done)()) return true;
            lock.lock();
        }
        if (impl.stopRequested) {
            impl.stopRequested = false;
            return done ? false : ranAny();
        }
        // The clock is read only when there are timers or nothing else to do:
        // a busy loop of posts does not pay for it per block.
        auto timer = impl.timers.empty() ? impl.timers.end() : impl.firstTimer(bits);
        if (timer != impl.timers.end()) {
            const auto now = clock->instant();
            if (timer->first.first <= now) {
                lock.unlock();
                fireDueTimer(now);
                lock.lock();
                continue;
            }
        }
        if (!impl.blocks.empty()) {
            auto block = std::move(impl.blocks.front());
            impl.blocks.pop_front();
            lock.unlock();
            ++impl.ran;
            block();
            block = nullptr;
            lock.lock();
            continue;
        }
        if (deadline && clock->instant() >= *deadline) return ranAny();
        if (done && std::chrono::steady_clock::now() >= realLimit) {
            lock.unlock();
            return (*done)();
        }

        auto wakeAt = deadline ? *deadline : Clock::Instant::max();
        if (timer != impl.timers.end()) wakeAt = std::min(wakeAt, timer->first.first);
        const auto seen = impl.signals;
        auto changed = [&] { return impl.signals != seen; };
        if (!virtualClock) {
            const auto until = std::min(wakeAt, realLimit);
            if (until == Clock::Instant::max()) {
                impl.wake.wait(lock, changed);
            } else {
                impl.wake.wait_until(lock, until, changed);
            }
            continue;
        }
        if (deadline && wakeAt != Clock::Instant::max() && virtualClock->autoAdvance()) {
            lock.unlock();
            virtualClock->advanceTo(wakeAt);
            lock.lock();
            continue;
        }
        // Woken by a post, a stop, a new timer, or the clock reaching wakeAt.
        lock.unlock();
        std::uint64_t waiter = 0;
        if (wakeAt != Clock::Instant::max()) {
            waiter = virtualClock->addWaiter(wakeAt, [&impl] {
                std::unique_lock wakeLock(impl.mutex);
                impl.signal(wakeLock);
            });
        }
        lock.lock();
        auto ready = [&] { return changed() || clock->instant() >= wakeAt; };
        if (realLimit == Clock::Instant::max()) {
            impl.wake.wait(lock, ready);
        } else {
            impl.wake.wait_until(lock, realLimit, ready);
        }
        if (waiter != 0) {
            lock.unlock();
            virtualClock->removeWaiter(waiter);
            lock.lock();
        }
    }
}

}  // namespace platform
