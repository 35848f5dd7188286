// Pages made resident ahead of a writer: as far as the lead allows and no
// further, following the writer, and without changing a byte of the range.

#include "platform/foundation/PagePrefaulter.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

using platform::PagePrefaulter;
using namespace std::chrono_literals;

namespace {

constexpr std::size_t kMiB = 1024 * 1024;

// Resident bytes of [begin, begin + length) by the kernel's page table.
std::size_t residentBytes(std::uint8_t* begin, std::size_t length) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> flags((length + page - 1) / page);
    if (::mincore(begin, length, flags.data()) != 0) return 0;
    std::size_t resident = 0;
    for (unsigned char flag : flags) resident += (flag & 1) ? page : 0;
    return resident;
}

bool waitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

}  // namespace

TEST(PagePrefaulter, MakesPagesAheadOfTheWriterWithinItsLeadAndKeepsTheBytes) {
    constexpr std::size_t kLength = 64 * kMiB;
    constexpr std::size_t kLead = 8 * kMiB;
    void* mapping = ::mmap(nullptr, kLength, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapping, MAP_FAILED);
    auto* base = static_cast<std::uint8_t*>(mapping);
    {
        const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        void* probe = ::mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(probe, MAP_FAILED);
        const bool supported = ::madvise(probe, page, MADV_POPULATE_WRITE) == 0;
        ::munmap(probe, page);
        if (!supported) {
            ::munmap(mapping, kLength);
            GTEST_SKIP() << "the kernel cannot populate pages on request";
        }
    }
    // What the writer had put there already stays.
    std::memcpy(base, "layout", 6);
    std::memcpy(base + 20 * kMiB, "track", 5);
    ASSERT_EQ(residentBytes(base + kLead + PagePrefaulter::kStep, 8 * kMiB), 0u);

    {
        PagePrefaulter prefaulter(base, kLength, kLead);
        ASSERT_TRUE(waitFor([&] { return prefaulter.prefaulted() >= kLead; }));
        EXPECT_EQ(residentBytes(base, kLead), kLead);
        // It stops at the lead while the writer does not move: every thread
        // waits for the writer.
        ASSERT_TRUE(waitFor([&] { return prefaulter.waitingThreads() == PagePrefaulter::kThreads; }));
        EXPECT_LE(prefaulter.prefaulted(), kLead + PagePrefaulter::kStep);
        EXPECT_EQ(residentBytes(base + kLead + PagePrefaulter::kStep, 8 * kMiB), 0u);

        // The writer moves on: so does the lead, and no further.
        prefaulter.noteWritten(40 * kMiB);
        ASSERT_TRUE(waitFor([&] { return prefaulter.prefaulted() >= 48 * kMiB; }));
        ASSERT_TRUE(waitFor([&] { return prefaulter.waitingThreads() == PagePrefaulter::kThreads; }));
        EXPECT_LE(prefaulter.prefaulted(), 48 * kMiB + PagePrefaulter::kStep);
        EXPECT_EQ(residentBytes(base + 40 * kMiB, 8 * kMiB), 8 * kMiB);
        EXPECT_EQ(residentBytes(base + 56 * kMiB, 8 * kMiB), 0u);

        // Stopped, it makes nothing more, even when the writer moves on.
        // stop() has joined the threads, so nothing can come after it.
        prefaulter.stop();
        prefaulter.noteWritten(kLength);
        EXPECT_EQ(residentBytes(base + 56 * kMiB, 8 * kMiB), 0u);
    }

    EXPECT_EQ(std::memcmp(base, "layout", 6), 0);
    EXPECT_EQ(std::memcmp(base + 20 * kMiB, "track", 5), 0);
    for (std::size_t offset : {std::size_t(6), kMiB, 20 * kMiB + 5, 47 * kMiB}) {
        EXPECT_EQ(base[offset], 0) << "at " << offset;
    }
    ::munmap(mapping, kLength);
}

TEST(PagePrefaulter, ARangeTooSmallOrMissingIsLeftAlone) {
    std::vector<std::uint8_t> small(PagePrefaulter::kStep / 2, 7);
    {
        PagePrefaulter prefaulter(small.data(), small.size(), 8 * kMiB);
        prefaulter.noteWritten(10);
        // Whatever a thread of it would have done, it has done once stop()
        // has joined it.
        prefaulter.stop();
        EXPECT_EQ(prefaulter.prefaulted(), 0u);
    }
    PagePrefaulter none(nullptr, 64 * kMiB, 8 * kMiB);
    none.stop();
    EXPECT_EQ(none.prefaulted(), 0u);
    EXPECT_EQ(small.front(), 7);
    EXPECT_EQ(small.back(), 7);
}
