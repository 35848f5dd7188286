#include "platform/dispatch/RunLoop.h"

namespace platform {

namespace {
thread_local std::shared_ptr<RunLoop> tCurrent;
thread_local char tThreadTag;
}  // namespace

std::shared_ptr<RunLoop> RunLoop::current() {
    if (!tCurrent) {
        tCurrent = std::shared_ptr<RunLoop>(new RunLoop());
        tCurrent->mOwnerThread = &tThreadTag;
    }
    return tCurrent;
}

bool RunLoop::isCurrent() const { return mOwnerThread == &tThreadTag; }

void RunLoop::post(std::function<void()> block) {
    {
        std::lock_guard lock(mMutex);
        mBlocks.push_back(std::move(block));
    }
    mWake.notify_all();
}

void RunLoop::stop() {
    {
        std::lock_guard lock(mMutex);
        mStopRequested = true;
    }
    mWake.notify_all();
}

bool RunLoop::runUntil(Clock::time_point deadline) {
    bool ranAny = false;
    std::unique_lock lock(mMutex);
    for (;;) {
        if (mStopRequested) {
            mStopRequested = false;
            return ranAny;
        }
        if (!mBlocks.empty()) {
            auto block = std::move(mBlocks.front());
            mBlocks.pop_front();
            lock.unlock();
            block();
            ranAny = true;
            lock.lock();
            continue;
        }
        if (Clock::now() >= deadline) {
            return ranAny;
        }
        mWake.wait_until(lock, deadline);
    }
}

bool RunLoop::runUntil(const std::function<bool()>& done, Clock::duration timeout) {
    const auto deadline = Clock::now() + timeout;
    std::unique_lock lock(mMutex);
    for (;;) {
        lock.unlock();
        if (done()) {
            return true;
        }
        lock.lock();
        if (mStopRequested) {
            mStopRequested = false;
            return false;
        }
        if (!mBlocks.empty()) {
            auto block = std::move(mBlocks.front());
            mBlocks.pop_front();
            lock.unlock();
            block();
            lock.lock();
            continue;
        }
        if (Clock::now() >= deadline) {
            lock.unlock();
            return done();
        }
        mWake.wait_until(lock, deadline);
    }
}

}  // namespace platform
