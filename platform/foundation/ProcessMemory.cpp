#include "platform/foundation/ProcessMemory.h"

#include <malloc.h>

#include <mutex>
#include <utility>

namespace platform {

namespace {

std::mutex gGrowthMutex;
int gGrowthsAhead = 0;
std::size_t gTopPad = HeapGrowthAhead::kSmallTopPad;

void setTopPad(std::size_t pad) {
    gTopPad = pad;
    mallopt(M_TOP_PAD, static_cast<int>(pad));
}

}  // namespace

void keepFreedMemoryMapped() {
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 32 << 20);
}

void giveFreedMemoryBack() { malloc_trim(0); }

HeapGrowthAhead::HeapGrowthAhead() {
    const std::lock_guard lock(gGrowthMutex);
    if (gGrowthsAhead++ == 0) setTopPad(kLargeTopPad);
}

HeapGrowthAhead::~HeapGrowthAhead() {
    if (!mHeld) return;
    const std::lock_guard lock(gGrowthMutex);
    if (--gGrowthsAhead == 0) setTopPad(kSmallTopPad);
}

HeapGrowthAhead::HeapGrowthAhead(HeapGrowthAhead&& other) noexcept : mHeld(std::exchange(other.mHeld, false)) {}

HeapGrowthAhead& HeapGrowthAhead::operator=(HeapGrowthAhead&& other) noexcept {
    if (this != &other) {
        HeapGrowthAhead gone(std::move(*this));
        mHeld = std::exchange(other.mHeld, false);
    }
    return *this;
}

std::size_t HeapGrowthAhead::currentTopPad() {
    const std::lock_guard lock(gGrowthMutex);
    return gTopPad;
}

}  // namespace platform
