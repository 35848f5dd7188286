#pragma once
// Makes the pages of a memory range resident on a thread of its own, a
// bounded distance ahead of a writer that fills the range from its start.
// Fresh memory costs a page fault (and the kernel's zeroing) per 4 KiB page
// the first time it is written, enough to hold back a fast transfer. Done
// here, that cost runs beside the writer instead of in it.
//
// The content of the range is never changed: pages are faulted in as if
// written, nothing is stored. Without kernel support (before Linux 5.14) or
// when no thread can be started, nothing is done and the writer takes the
// faults itself.
//
// Threads: noteWritten() from the writer; stop() (and the destructor) from
// any one thread. The range must stay allocated until stop() has returned.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

namespace platform {

class PagePrefaulter {
public:
    // Pages are made in steps of kStep, at most `lead` bytes beyond what
    // noteWritten() last reported, by kThreads threads taking the steps in
    // turn: the kernel makes pages at about the speed of a loopback
    // transfer per thread, so one alone would hold a fast writer back.
    static constexpr std::size_t kStep = std::size_t(2) << 20;
    static constexpr std::size_t kThreads = 2;

    PagePrefaulter(std::uint8_t* begin, std::size_t length, std::size_t lead);
    ~PagePrefaulter();
    PagePrefaulter(const PagePrefaulter&) = delete;
    PagePrefaulter& operator=(const PagePrefaulter&) = delete;

    // The writer has filled the first `written` bytes.
    void noteWritten(std::size_t written);
    // Ends the work and waits for the thread (at most one step). Idempotent.
    void stop();
    // Bytes from the start of the range that are resident (or written).
    std::size_t prefaulted() const;
    // Threads waiting for the writer to move on: all of them once the work
    // has reached the lead.
    std::size_t waitingThreads() const { return mWaiting.load(); }

private:
    // The thread that takes every kThreads-th step from step `first` on.
    void run(std::size_t first);

    std::uint8_t* const mBegin;
    const std::size_t mLength;
    const std::size_t mLead;
    std::atomic<std::size_t> mWritten{0};
    // Per thread: the start of its next step, from the range's start.
    std::atomic<std::size_t> mReached[kThreads] = {};
    std::atomic<bool> mStop{false};
    // The least written length at which a parked thread may go on.
    static constexpr std::size_t kNobodyParked = ~std::size_t(0);
    std::atomic<std::size_t> mWakeAt{kNobodyParked};
    std::atomic<std::size_t> mWaiting{0};
    std::mutex mMutex;
    std::condition_variable mWake;
    std::thread mThreads[kThreads];
};

}  // namespace platform
