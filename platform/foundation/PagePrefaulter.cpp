#include "platform/foundation/PagePrefaulter.h"

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
    try {
        mThread = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // Only a speed-up: the writer takes the faults itself.
    }
}

PagePrefaulter::~PagePrefaulter() { stop(); }

void PagePrefaulter::noteWritten(std::size_t written) {
    mWritten.store(written);
    if (mParked.load()) {
        { std::lock_guard lock(mMutex); }
        mWake.notify_one();
    }
}

void PagePrefaulter::stop() {
    mStop.store(true);
    { std::lock_guard lock(mMutex); }
    mWake.notify_one();
    if (mThread.joinable()) mThread.join();
}

void PagePrefaulter::run() {
    const std::uintptr_t page = pageSize();
    const auto base = reinterpret_cast<std::uintptr_t>(mBegin);
    const std::uintptr_t end = (base + mLength) & ~(page - 1);
    std::uintptr_t position = (base + page - 1) & ~(page - 1);
    // How far the writer lets us go: its end plus the lead.
    const auto allowed = [&] { return std::min(end, base + mWritten.load() + mLead); };

    while (position < end && !mStop.load()) {
        if (position >= allowed()) {
            std::unique_lock lock(mMutex);
            mParked.store(true);
            mWake.wait(lock, [&] { return mStop.load() || position < allowed(); });
            mParked.store(false);
            continue;
        }
        // Pages the writer has reached need nothing from us.
        const std::uintptr_t written = (base + mWritten.load()) & ~(page - 1);
        position = std::max(position, written);
        const std::uintptr_t stepEnd = std::min(end, position + kStep);
        if (position >= stepEnd) continue;
        if (::madvise(reinterpret_cast<void*>(position), stepEnd - position, MADV_POPULATE_WRITE) != 0) {
            if (errno == EINVAL) gUnsupported.store(true, std::memory_order_relaxed);
            if (errno != EINTR) break;  // out of memory, or not supported: the writer faults as usual
            continue;
        }
        position = stepEnd;
        mDone.store(position - base, std::memory_order_release);
    }
}

}  // namespace platform
