#include "platform/foundation/PagePrefaulter.h"

#include "platform/dispatch/ThreadStart.h"

#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14
#endif

namespace platform {

namespace {

// Set once the kernel has refused the advice, so that later ranges start
// no thread for nothing.
std::atomic<bool> gUnsupported{false};

std::uintptr_t pageSize() {
    static const std::uintptr_t size = [] {
        const long value = ::sysconf(_SC_PAGESIZE);
        return value > 0 ? static_cast<std::uintptr_t>(value) : std::uintptr_t(4096);
    }();
    return size;
}

}  // namespace

PagePrefaulter::PagePrefaulter(std::uint8_t* begin, std::size_t length, std::size_t lead)
    : mBegin(begin), mLength(length), mLead(std::max(lead, kStep)) {
    if (begin == nullptr || length < kStep || gUnsupported.load(std::memory_order_relaxed)) return;
    for (std::size_t i = 0; i < kThreads; ++i) {
        try {
            mThreads[i] = startThread([this, i] {
                pthread_setname_np(pthread_self(), "prefault");
                run(i);
            });
        } catch (const std::system_error&) {
            // Only a speed-up: the writer takes the faults itself.
            mStop.store(true);
            break;
        }
    }
}

PagePrefaulter::~PagePrefaulter() { stop(); }

std::size_t PagePrefaulter::prefaulted() const {
    // Every step below the least of the threads' next steps is done.
    std::size_t done = mLength;
    for (const auto& reached : mReached) done = std::min(done, reached.load(std::memory_order_acquire));
    return done;
}

void PagePrefaulter::noteWritten(std::size_t written) {
    mWritten.store(written);
    // A wake-up costs the writer a system call: only when a parked thread
    // may go on.
    if (written >= mWakeAt.load()) {
        {
            std::lock_guard lock(mMutex);
            mWakeAt.store(kNobodyParked);
        }
        mWake.notify_all();
    }
}

void PagePrefaulter::stop() {
    mStop.store(true);
    { std::lock_guard lock(mMutex); }
    mWake.notify_all();
    for (auto& thread : mThreads) {
        if (thread.joinable()) thread.join();
    }
}

void PagePrefaulter::run(std::size_t first) {
    const std::uintptr_t page = pageSize();
    const auto base = reinterpret_cast<std::uintptr_t>(mBegin);
    const std::uintptr_t end = (base + mLength) & ~(page - 1);
    const std::uintptr_t start = (base + page - 1) & ~(page - 1);
    // How far the writer lets us go: its end plus the lead.
    const auto allowed = [&] { return std::min(end, base + mWritten.load() + mLead); };
    std::atomic<std::size_t>& reached = mReached[first];
    std::uintptr_t step = start + first * kStep;  // this thread's next step

    while (step < end && !mStop.load()) {
        reached.store(step - base, std::memory_order_release);
        if (step >= allowed()) {
            std::unique_lock lock(mMutex);
            // Written beyond this, the writer lets the step through.
            const std::size_t needed = step - base - std::min(step - base, mLead) + 1;
            ++mWaiting;
            mWake.wait(lock, [&] {
                if (mStop.load()) return true;
                // Said before looking, so that a write in between wakes us.
                mWakeAt.store(std::min(mWakeAt.load(), needed));
                return step < allowed();
            });
            --mWaiting;
            continue;
        }
        // Pages the writer has reached need nothing from us.
        const std::uintptr_t written = (base + mWritten.load()) & ~(page - 1);
        const std::uintptr_t stepEnd = std::min(end, step + kStep);
        const std::uintptr_t from = std::max(step, written);
        if (from < stepEnd && ::madvise(reinterpret_cast<void*>(from), stepEnd - from, MADV_POPULATE_WRITE) != 0) {
            if (errno == EINVAL) gUnsupported.store(true, std::memory_order_relaxed);
            if (errno != EINTR) break;  // out of memory, or not supported: the writer faults as usual
            continue;
        }
        step += kThreads * kStep;
        // Steps the writer has passed are skipped.
        while (step + kStep <= written) step += kThreads * kStep;
    }
    reached.store(std::min(step, end) - base, std::memory_order_release);
}

}  // namespace platform
