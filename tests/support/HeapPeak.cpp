#include "tests/support/HeapPeak.h"

#include <atomic>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VEKMONT_HEAP_HOOK 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define VEKMONT_HEAP_HOOK 0
#endif
#endif
#ifndef VEKMONT_HEAP_HOOK
#define VEKMONT_HEAP_HOOK 1
#endif

namespace {

std::atomic<long long> gInUse{0};
std::atomic<long long> gPeak{0};

}  // namespace

namespace testsupport {

const bool kHeapCounted = VEKMONT_HEAP_HOOK != 0;

HeapPeak::HeapPeak() : mBefore(gInUse.load()) { gPeak.store(mBefore); }

long long HeapPeak::bytes() const { return gPeak.load() - mBefore; }

}  // namespace testsupport

#if VEKMONT_HEAP_HOOK

#include <malloc.h>
#include <unistd.h>

#include <cerrno>

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);
}

namespace {

void* counted(void* block) {
    if (block != nullptr) {
        const auto size = static_cast<long long>(malloc_usable_size(block));
        const long long now = gInUse.fetch_add(size) + size;
        long long peak = gPeak.load(std::memory_order_relaxed);
        while (now > peak && !gPeak.compare_exchange_weak(peak, now)) {
        }
    }
    return block;
}

void uncount(void* block) {
    if (block != nullptr) gInUse.fetch_sub(static_cast<long long>(malloc_usable_size(block)));
}

}  // namespace

extern "C" {
void* malloc(std::size_t size) { return counted(__libc_malloc(size)); }
void* calloc(std::size_t count, std::size_t size) { return counted(__libc_calloc(count, size)); }
void* realloc(void* block, std::size_t size) {
    uncount(block);
    void* moved = __libc_realloc(block, size);
    if (moved == nullptr && size != 0) return counted(block);  // failed: the old block stays
    return counted(moved);
}
void free(void* block) {
    uncount(block);
    __libc_free(block);
}
void* memalign(std::size_t alignment, std::size_t size) { return counted(__libc_memalign(alignment, size)); }
void* aligned_alloc(std::size_t alignment, std::size_t size) { return counted(__libc_memalign(alignment, size)); }
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    void* block = __libc_memalign(alignment, size);
    if (block == nullptr) return ENOMEM;
    *out = counted(block);
    return 0;
}
void* valloc(std::size_t size) { return counted(__libc_memalign(static_cast<std::size_t>(getpagesize()), size)); }
}

#endif
