#include "engine/services/DelayedFlusher.h"

#include "platform/dispatch/ThreadStart.h"

#include <utility>

CDelayedFlusher::CDelayedFlusher(std::chrono::milliseconds delay, std::function<void()> flush)
    : mDelay(delay), mFlush(std::move(flush)) {}

CDelayedFlusher::~CDelayedFlusher() {
    std::unique_lock lock(mMutex);
    mStopping = true;
    mWake.notify_all();
    std::thread thread = std::move(mThread);
    lock.unlock();
    if (thread.joinable()) thread.join();
}

void CDelayedFlusher::Waiting() {
    std::lock_guard lock(mMutex);
    if (mWaitingSince) return;
    mWaitingSince = std::chrono::steady_clock::now();
    if (!mThread.joinable()) mThread = platform::startThread([this] { Loop(); });
    mWake.notify_one();
}

void CDelayedFlusher::Flushed() {
    std::lock_guard lock(mMutex);
    mWaitingSince.reset();
}

void CDelayedFlusher::Loop() {
    std::unique_lock lock(mMutex);
    while (!mStopping) {
        if (!mWaitingSince) {
            mWake.wait(lock);
            continue;
        }
        const auto due = *mWaitingSince + mDelay;
        if (mWake.wait_until(lock, due, [this] { return mStopping || !mWaitingSince; })) continue;
        mWaitingSince.reset();
        // Unlocked: the flush may take the writer's lock, under which the
        // writer tells of its lines.
        lock.unlock();
        mFlush();
        lock.lock();
    }
}
