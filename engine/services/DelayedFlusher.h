#pragma once
// The moment a buffered writer flushes when no flush came otherwise: the
// delay after the first of the lines still waiting. A thread of its own,
// started with the first line and on the real clock, waits for that moment
// and runs the flush it was given; a flush the writer made meanwhile
// (Flushed) moves the moment to the next line.
//
// Threads: Waiting and Flushed may be called from any thread, also under the
// writer's own lock; the flush runs on the flusher's thread without the
// flusher's lock, so it may take the writer's. Destruction ends the thread,
// after waiting for a flush under way, and flushes nothing itself: what
// still waits is the writer's to write. So destroy it neither under a lock
// the flush takes nor from the flush.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class CDelayedFlusher {
public:
    CDelayedFlusher(std::chrono::milliseconds delay, std::function<void()> flush);
    ~CDelayedFlusher();
    CDelayedFlusher(const CDelayedFlusher&) = delete;
    CDelayedFlusher& operator=(const CDelayedFlusher&) = delete;

    // A line began to wait.
    void Waiting();
    // Nothing waits any more.
    void Flushed();

private:
    void Loop();

    const std::chrono::milliseconds mDelay;
    const std::function<void()> mFlush;

    std::mutex mMutex;
    std::condition_variable mWake;
    // When the oldest line still waiting came.
    std::optional<std::chrono::steady_clock::time_point> mWaitingSince;
    bool mStopping = false;
    std::thread mThread;
};
