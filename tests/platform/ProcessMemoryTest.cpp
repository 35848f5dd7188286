// The heaps as the app has them (this program links the app's allocator):
// threads allocating a hundred megabytes at once find the address space
// taken ahead and do not take it for writing, and what they free
// goes back to the system, at once when asked and on its own otherwise.

#include "platform/foundation/ProcessMemory.h"

#include "platform/dispatch/DispatchQueue.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Every call that changes the address space holds its lock for writing,
// and each page fault of another thread waits meanwhile. Counted here: the
// allocator calls these through the C library's entries, which this
// program takes over.
std::atomic<int> gAddressSpaceChanges{0};

}  // namespace

extern "C" {
void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
    ++gAddressSpaceChanges;
    return reinterpret_cast<void*>(syscall(SYS_mmap, address, length, protection, flags, fd, offset));
}
int munmap(void* address, size_t length) {
    ++gAddressSpaceChanges;
    return static_cast<int>(syscall(SYS_munmap, address, length));
}
int mprotect(void* address, size_t length, int protection) {
    ++gAddressSpaceChanges;
    return static_cast<int>(syscall(SYS_mprotect, address, length, protection));
}
}

using platform::giveFreedMemoryBack;

namespace {

constexpr std::size_t kMiB = 1024 * 1024;
constexpr int kThreads = 8;

std::size_t residentBytes() {
    std::FILE* file = std::fopen("/proc/self/statm", "r");
    unsigned long pages = 0;
    unsigned long resident = 0;
    if (file != nullptr) {
        if (std::fscanf(file, "%lu %lu", &pages, &resident) != 2) resident = 0;
        std::fclose(file);
    }
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// kThreads threads each allocate and touch `perThread` bytes in blocks of
// 64 KiB to 1 MiB, as a first frame's tile threads and a read do, then
// free them all.
void allocateTouchAndFree(std::size_t perThread) {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([perThread, t] {
            std::vector<void*> blocks;
            for (std::size_t taken = 0, i = t; taken < perThread; ++i) {
                const std::size_t size = (64 << 10) << (i % 5);
                void* block = std::malloc(size);
                std::memset(block, 1, size);
                blocks.push_back(block);
                taken += size;
            }
            for (void* block : blocks) std::free(block);
        });
    }
    for (auto& thread : threads) thread.join();
}

// jemalloc's control entry; the tests check first that it is there.
int control(const char* name, void* old, std::size_t* oldSize, void* value, std::size_t size) {
    using tMallctl = int (*)(const char*, void*, std::size_t*, void*, std::size_t);
    static const auto entry = reinterpret_cast<tMallctl>(dlsym(RTLD_DEFAULT, "mallctl"));
    return entry(name, old, oldSize, value, size);
}

// Each arena's dirty decay, -2 for one not made yet.
std::vector<long> arenaDecays() {
    unsigned arenas = 0;
    std::size_t size = sizeof arenas;
    control("arenas.narenas", &arenas, &size, nullptr, 0);
    std::vector<long> decays;
    for (unsigned arena = 0; arena < arenas; ++arena) {
        ssize_t decay = -2;
        size = sizeof decay;
        control(("arena." + std::to_string(arena) + ".dirty_decay_ms").c_str(), &decay, &size, nullptr, 0);
        decays.push_back(decay);
    }
    return decays;
}

// Bytes the threads' caches keep of blocks they freed, every arena's.
std::size_t threadCachedBytes() {
    std::uint64_t epoch = 1;
    std::size_t size = sizeof epoch;
    control("epoch", &epoch, &size, &epoch, size);
    std::size_t bytes = 0;
    size = sizeof bytes;
    control("stats.arenas.4096.tcache_bytes", &bytes, &size, nullptr, 0);
    return bytes;
}

}  // namespace

// A layer composited apart within a band takes a block of this size and
// frees it every band, on one thread while others draw: it must come back
// from that thread's own cache (pages already in memory), and a queue's
// thread idle for a while must not keep it.
TEST(ProcessMemory, BandSizedBlocksComeBackToTheirThreadAndAnIdleQueueGivesThemUp) {
    ASSERT_NE(dlsym(RTLD_DEFAULT, "mallctl"), nullptr) << "not on the app's allocator";
    constexpr std::size_t kBand = 1470 * 128 * 4;
    const std::size_t cachedBefore = threadCachedBytes();
    std::promise<std::pair<void*, void*>> taken;
    platform::DispatchQueue::global().async([&taken] {
        void* first = std::memset(std::calloc(kBand, 1), 1, kBand);
        std::free(first);
        // Meanwhile another thread takes blocks of the size, then frees them.
        std::thread([] {
            std::vector<void*> others;
            for (int i = 0; i < 8; ++i) others.push_back(std::memset(std::malloc(kBand), 2, kBand));
            for (void* block : others) std::free(block);
        }).join();
        void* second = std::calloc(kBand, 1);
        std::free(second);
        taken.set_value({first, second});
    });
    const auto [first, second] = taken.get_future().get();
    EXPECT_EQ(first, second) << "the band's block did not come back to its thread";
    EXPECT_GE(threadCachedBytes(), cachedBefore + kBand);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (threadCachedBytes() >= cachedBefore + kBand && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_LT(threadCachedBytes(), cachedBefore + kBand) << "an idle queue's thread kept its cache";
}

TEST(ProcessMemory, ThreadsFindTheHeapsGrownAheadAndWhatTheyFreeGoesBack) {
    ASSERT_NE(dlsym(RTLD_DEFAULT, "mallctl"), nullptr) << "not on the app's allocator";
    allocateTouchAndFree(kMiB);  // the allocator's own start
    giveFreedMemoryBack();
    const std::size_t idle = residentBytes();
    constexpr std::size_t kPerThread = 16 * kMiB;

    const int before = gAddressSpaceChanges.load();
    allocateTouchAndFree(kPerThread);
    // The arenas took their address space ahead: not one growth each now
    // (some two dozen when grown as asked; 128 KiB steps were thousands).
    EXPECT_LT(gAddressSpaceChanges.load() - before, 4);

    struct Case {
        const char* name;
        std::function<bool()> back;  // whether the pages are back, once it ran
    };
    const auto backWithin = [idle](std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (residentBytes() > idle + 32 * kMiB) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    };
    const Case cases[] = {
        {"given back when asked",
         [&] {
             giveFreedMemoryBack();
             return backWithin(std::chrono::seconds(0));
         }},
        {"given back on its own", [&] { return backWithin(std::chrono::seconds(30)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        allocateTouchAndFree(kPerThread);
        EXPECT_TRUE(c.back()) << residentBytes() / kMiB << " MiB resident, " << idle / kMiB << " MiB before";
    }

    // Held, what is freed stays past the decay; let go (on a queue of its
    // own), it goes back, and each arena gives back as soon as before (the
    // one for the largest requests at once).
    std::free(std::memset(std::malloc(64 * kMiB), 1, 64 * kMiB));
    const std::vector<long> decays = arenaDecays();
    auto hold = platform::holdFreedPages();
    allocateTouchAndFree(kPerThread);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_FALSE(backWithin(std::chrono::seconds(0))) << "given back while held";
    hold.reset();
    EXPECT_TRUE(backWithin(std::chrono::seconds(30))) << "kept after the hold";
    EXPECT_EQ(arenaDecays(), decays);
}
