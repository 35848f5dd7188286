#include "platform/dispatch/Clock.h"

#include "platform/dispatch/RunLoop.h"
#include "platform/dispatch/ThreadStart.h"

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

namespace platform {

namespace {

using Key = std::pair<Clock::Instant, std::uint64_t>;

std::atomic<std::uint64_t> gSequence{0};

// Hands delayed blocks over when they fall due on the real clock: one
// thread for the process, started on first use and never stopped.
class TimerThread {
public:
    void add(Clock::Instant due, std::function<void()> action) {
        {
            std::lock_guard lock(mMutex);
            if (!mStarted) {
                mStarted = true;
                startThread([this] { run(); }).detach();
            }
            mActions.emplace(Key{due, gSequence.fetch_add(1)}, std::move(action));
        }
        mWake.notify_one();
    }

private:
    void run() {
        pthread_setname_np(pthread_self(), "clock.timers");
        std::unique_lock lock(mMutex);
        for (;;) {
            if (mActions.empty()) {
                mWake.wait(lock);
                continue;
            }
            auto first = mActions.begin();
            if (first->first.first > std::chrono::steady_clock::now()) {
                mWake.wait_until(lock, first->first.first);
                continue;
            }
            auto action = std::move(first->second);
            mActions.erase(first);
            lock.unlock();
            action();
            action = nullptr;  // what it captured goes before the lock is taken
            lock.lock();
        }
    }

    std::mutex mMutex;
    std::condition_variable mWake;
    std::map<Key, std::function<void()>> mActions;
    bool mStarted = false;
};

class RealClock final : public Clock {
public:
    Instant instant() const override { return std::chrono::steady_clock::now(); }
    Date now() const override { return std::chrono::system_clock::now(); }
    void sleepUntil(Instant deadline) override { std::this_thread::sleep_until(deadline); }
    void callAt(Instant due, std::function<void()> action) override {
        static TimerThread* timers = new TimerThread();  // outlives every caller
        timers->add(due, std::move(action));
    }
};

std::mutex gSharedMutex;

std::shared_ptr<Clock>& installedClock() {
    static auto* clock = new std::shared_ptr<Clock>(std::make_shared<RealClock>());
    return *clock;
}

}  // namespace

std::shared_ptr<Clock> Clock::shared() {
    std::lock_guard lock(gSharedMutex);
    return installedClock();
}

ScopedClock::ScopedClock(std::shared_ptr<Clock> clock) {
    if (!clock) throw std::invalid_argument("ScopedClock needs a clock");
    std::lock_guard lock(gSharedMutex);
    mPrevious = std::exchange(installedClock(), std::move(clock));
}

ScopedClock::~ScopedClock() {
    std::lock_guard lock(gSharedMutex);
    installedClock() = std::move(mPrevious);
}

// ---------------------------------------------------------------------------
// Virtual clock

struct VirtualClock::State {
    // Both faces in nanoseconds since their epochs; read without the lock.
    std::atomic<Instant::rep> instant{0};
    std::atomic<Date::rep> date{0};
    std::atomic<bool> autoAdvance{false};

    // Guards the schedule; held while a waiter's wake runs, so that removing
    // a waiter also waits for its wake to end.
    mutable std::mutex mutex;
    struct Entry {
        std::function<void()> action;
        bool isWaiter = false;
    };
    std::map<Key, Entry> entries;
    std::map<std::uint64_t, Instant> waiters;  // id (its sequence) -> due
    mutable std::condition_variable waitersChanged;

    Instant currentInstant() const { return Instant(Duration(instant.load(std::memory_order_acquire))); }

    // Moves both faces to `to` when it is later; under the lock.
    void moveTo(Instant to) {
        const auto from = instant.load(std::memory_order_relaxed);
        const auto target = to.time_since_epoch().count();
        if (target <= from) return;
        const auto delta = std::chrono::duration_cast<Date::duration>(Duration(target - from)).count();
        date.fetch_add(delta, std::memory_order_acq_rel);
        instant.store(target, std::memory_order_release);
    }
};

VirtualClock::VirtualClock() : VirtualClock(std::chrono::system_clock::now()) {}

VirtualClock::VirtualClock(Date date) : mState(std::make_unique<State>()) {
    mState->instant.store(std::chrono::steady_clock::now().time_since_epoch().count());
    mState->date.store(date.time_since_epoch().count());
}

VirtualClock::~VirtualClock() = default;

Clock::Instant VirtualClock::instant() const { return mState->currentInstant(); }

Clock::Date VirtualClock::now() const { return Date(Date::duration(mState->date.load(std::memory_order_acquire))); }

void VirtualClock::setDate(Date date) {
    mState->date.store(date.time_since_epoch().count(), std::memory_order_release);
}

void VirtualClock::setAutoAdvance(bool on) { mState->autoAdvance.store(on); }

bool VirtualClock::autoAdvance() const { return mState->autoAdvance.load(); }

std::uint64_t VirtualClock::nextSequence() { return gSequence.fetch_add(1); }

void VirtualClock::callAt(Instant due, std::function<void()> action) {
    std::lock_guard lock(mState->mutex);
    mState->entries.emplace(Key{due, nextSequence()}, State::Entry{std::move(action), false});
}

std::uint64_t VirtualClock::addWaiter(Instant due, std::function<void()> wake) {
    std::uint64_t id = nextSequence();
    {
        std::lock_guard lock(mState->mutex);
        mState->entries.emplace(Key{due, id}, State::Entry{std::move(wake), true});
        mState->waiters.emplace(id, due);
    }
    mState->waitersChanged.notify_all();
    return id;
}

void VirtualClock::removeWaiter(std::uint64_t id) {
    std::function<void()> wake;  // destroyed after the lock is let go
    std::lock_guard lock(mState->mutex);
    auto waiter = mState->waiters.find(id);
    if (waiter == mState->waiters.end()) return;
    auto entry = mState->entries.find(Key{waiter->second, id});
    if (entry != mState->entries.end()) {
        wake = std::move(entry->second.action);
        mState->entries.erase(entry);
    }
    mState->waiters.erase(waiter);
}

bool VirtualClock::waitForWaiters(std::size_t count, Duration realTimeout) const {
    std::unique_lock lock(mState->mutex);
    return mState->waitersChanged.wait_for(lock, realTimeout, [&] { return mState->waiters.size() >= count; });
}

void VirtualClock::sleepUntil(Instant deadline) {
    if (instant() >= deadline) return;
    if (autoAdvance()) {
        advanceTo(deadline);
        return;
    }
    std::mutex mutex;
    std::condition_variable woken;
    const auto id = addWaiter(deadline, [&] {
        { std::lock_guard lock(mutex); }
        woken.notify_all();
    });
    {
        std::unique_lock lock(mutex);
        woken.wait(lock, [&] { return instant() >= deadline; });
    }
    removeWaiter(id);
}

void VirtualClock::advance(Duration duration) {
    if (duration < Duration::zero()) throw std::invalid_argument("VirtualClock::advance: negative duration");
    advanceTo(instant() + duration);
}

void VirtualClock::advanceTo(Instant target) {
    // The advancing thread's own loop runs its timers here, at their times,
    // and the blocks posted to it as they come.
    RunLoop* loop = RunLoop::currentIfAny();
    if (loop) loop->runPostedBlocks();
    for (;;) {
        Instant loopDue{};
        std::uint64_t loopSequence = 0;
        const bool loopHasTimer = loop && loop->nextDueTimer(loopDue, loopSequence);

        std::unique_lock lock(mState->mutex);
        auto first = mState->entries.begin();
        const bool entryFirst = first != mState->entries.end() && first->first.first <= target &&
                                (!loopHasTimer || first->first < Key{loopDue, loopSequence});
        if (entryFirst) {
            mState->moveTo(first->first.first);
            auto entry = std::move(first->second);
            const auto id = first->first.second;
            mState->entries.erase(first);
            if (entry.isWaiter) {
                // Under the lock, so that the waiter cannot go while it runs.
                mState->waiters.erase(id);
                entry.action();
                lock.unlock();
                mState->waitersChanged.notify_all();
            } else {
                lock.unlock();
                entry.action();
            }
        } else if (loopHasTimer && loopDue <= target) {
            mState->moveTo(loopDue);
            lock.unlock();
            loop->fireDueTimer(instant());
        } else {
            mState->moveTo(target);
            break;
        }
        if (loop) loop->runPostedBlocks();
    }
    if (loop) loop->runPostedBlocks();
}

}  // namespace platform
