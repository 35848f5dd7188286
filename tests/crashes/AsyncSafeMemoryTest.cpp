// Safe reads of the own process and memory objects over ranges that are
// only partly mapped: codes, never faults.

#include "crashes/reporter/async/TLCrashAsyncMObject.h"
#include "crashes/reporter/async/TLCrashAsyncTask.h"

#include <gtest/gtest.h>

#include <sanitizer/asan_interface.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace {

// Three pages: the first two readable and filled with a pattern, the second
// unmapped, the third mapped without access.
class PartlyMapped {
public:
    PartlyMapped() : mPage(tlcrash_async_page_size()) {
        void* mapped = mmap(nullptr, 3 * mPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) throw std::runtime_error("mmap");
        mBase = static_cast<uint8_t*>(mapped);
        for (size_t i = 0; i < mPage; ++i) mBase[i] = static_cast<uint8_t>(i * 7);
        munmap(mBase + mPage, mPage);
        mprotect(mBase + 2 * mPage, mPage, PROT_NONE);
    }
    ~PartlyMapped() {
        munmap(mBase, mPage);
        munmap(mBase + 2 * mPage, mPage);
    }
    uint64_t address(size_t offset = 0) const { return reinterpret_cast<uint64_t>(mBase + offset); }
    const uint8_t* bytes() const { return mBase; }
    size_t page() const { return mPage; }

private:
    size_t mPage;
    uint8_t* mBase;
};

}  // namespace

TEST(AsyncSafeMemory, TaskReadsGiveCodesForUnmappedAndUnreadableRanges) {
    PartlyMapped memory;
    const size_t page = memory.page();
    std::vector<uint8_t> copy(2 * page);
    const tlcrash_task_t self = tlcrash_task_self();

    ASSERT_EQ(tlcrash_async_read_task_memory(self, memory.address(), 16, copy.data(), 64), TLCRASH_ERR_NONE);
    EXPECT_EQ(std::memcmp(copy.data(), memory.bytes() + 16, 64), 0);
    // Up to the last mapped byte, then one past it.
    EXPECT_EQ(tlcrash_async_read_task_memory(self, memory.address(page - 8), 0, copy.data(), 8), TLCRASH_ERR_NONE);
    EXPECT_EQ(tlcrash_async_read_task_memory(self, memory.address(page - 8), 0, copy.data(), 9), TLCRASH_ERR_NOTFOUND);
    EXPECT_EQ(tlcrash_async_read_task_memory(self, memory.address(page), 0, copy.data(), 4), TLCRASH_ERR_NOTFOUND);
    EXPECT_EQ(tlcrash_async_read_task_memory(self, memory.address(2 * page), 0, copy.data(), 4), TLCRASH_ERR_NOTFOUND);
    EXPECT_EQ(tlcrash_async_read_task_memory(self, 0, 0, copy.data(), 4), TLCRASH_ERR_NOTFOUND);
    // The address plus offset wraps.
    EXPECT_EQ(tlcrash_async_read_task_memory(self, 16, -32, copy.data(), 4), TLCRASH_ERR_NOMEM);
    EXPECT_EQ(tlcrash_async_read_task_memory(self, UINT64_MAX - 2, 0, copy.data(), 4), TLCRASH_ERR_NOMEM);

    uint32_t word = 0;
    ASSERT_EQ(tlcrash_async_read_task_uint32(self, &tlcrash_async_byteorder_swapped, memory.address(), 4, &word),
              TLCRASH_ERR_NONE);
    EXPECT_EQ(word, (uint32_t{memory.bytes()[4]} << 24) | (uint32_t{memory.bytes()[5]} << 16) |
                        (uint32_t{memory.bytes()[6]} << 8) | memory.bytes()[7]);
    uint64_t wide = 7;
    EXPECT_EQ(tlcrash_async_read_task_uint64(self, tlcrash_async_byteorder_host(), memory.address(page - 4), 0, &wide),
              TLCRASH_ERR_NOTFOUND);
    EXPECT_EQ(wide, 7u);
}

TEST(AsyncSafeMemory, BothReadPathsStopAtTheFirstUnreadableByte) {
    PartlyMapped memory;
    const size_t page = memory.page();
    std::vector<uint8_t> copy(2 * page, 0);
    // Where the kernel refuses process_vm_readv the pipe serves; both copy
    // what can be read and stop there.
    for (int path = 0; path < 2; ++path) {
        SCOPED_TRACE(path == 0 ? "process_vm_readv" : "pipe");
        auto read = [&](uint64_t address, size_t length) {
            return path == 0 ? tlcrash_detail::readWithVmReadv(tlcrash_task_self(), address, copy.data(), length)
                             : tlcrash_detail::readThroughPipe(address, copy.data(), length);
        };
        EXPECT_EQ(read(memory.address(100), page - 100), static_cast<ssize_t>(page - 100));
        EXPECT_EQ(std::memcmp(copy.data(), memory.bytes() + 100, page - 100), 0);
        // Two pages from the middle of the first: only its rest arrives.
        EXPECT_EQ(read(memory.address(page / 2), 2 * page), static_cast<ssize_t>(page / 2));
        EXPECT_EQ(read(memory.address(page), 16), 0);
        EXPECT_EQ(read(memory.address(2 * page), 16), 0);
    }
}

TEST(AsyncSafeMemory, ReadsOfAnotherProcessGoThroughTheKernel) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    static char secret[] = "child's own bytes";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child's copy of the data at the same address differs.
        secret[0] = 'C';
        (void)!write(ready[1], "x", 1);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char byte;
    const bool started = read(ready[0], &byte, 1) == 1;
    char copy[sizeof secret] = {};
    const tlcrash_error_t error =
        started ? tlcrash_async_read_task_memory(child, reinterpret_cast<uint64_t>(secret), 0, copy, sizeof copy)
                : TLCRASH_ERR_UNKNOWN;
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    ASSERT_TRUE(started);
    if (error == TLCRASH_ERR_NOTSUP) GTEST_SKIP() << "the kernel refuses reads of a child here";
    ASSERT_EQ(error, TLCRASH_ERR_NONE);
    EXPECT_STREQ(copy, "Child's own bytes");
    EXPECT_STREQ(secret, "child's own bytes");
}

TEST(AsyncSafeMemory, ObjectsCoverTheReadablePagesOrRefuseWhenAllAreRequired) {
    PartlyMapped memory;
    const size_t page = memory.page();
    const tlcrash_task_t self = tlcrash_task_self();
    tlcrash_async_mobject mobj;

    // Two pages asked from the middle of the first: without require-full the
    // object ends where the mapping does; with it, the object is refused.
    ASSERT_EQ(tlcrash_async_mobject_init(&mobj, self, memory.address(page / 2), page, false), TLCRASH_ERR_NONE);
    EXPECT_EQ(tlcrash_async_mobject_base_address(&mobj), memory.address(page / 2));
    EXPECT_EQ(tlcrash_async_mobject_length(&mobj), page / 2);
    EXPECT_EQ(tlcrash_async_mobject_init(&mobj, self, memory.address(page / 2), page, true), TLCRASH_ERR_NOMEM);
    EXPECT_EQ(tlcrash_async_mobject_init(&mobj, self, memory.address(page), 8, false), TLCRASH_ERR_NOMEM);
    EXPECT_EQ(tlcrash_async_mobject_init(&mobj, self, memory.address(2 * page), 8, false), TLCRASH_ERR_NOMEM);
    EXPECT_EQ(tlcrash_async_mobject_init(&mobj, self, memory.address(), 0, false), TLCRASH_ERR_NOMEM);
    EXPECT_EQ(tlcrash_async_mobject_init(&mobj, self, UINT64_MAX - 4, 8, false), TLCRASH_ERR_INVAL);
    EXPECT_EQ(tlcrash_async_mobject_init(&mobj, getppid(), memory.address(), 8, false), TLCRASH_ERR_NOTSUP);

    // A whole object of 64 bytes from byte 32: reads inside, refusals at both
    // ends.
    ASSERT_EQ(tlcrash_async_mobject_init(&mobj, self, memory.address(32), 64, true), TLCRASH_ERR_NONE);
    const uint64_t base = memory.address(32);
    uint8_t byte = 0;
    uint16_t half = 0;
    uint32_t word = 0;
    uint64_t wide = 0;
    EXPECT_EQ(tlcrash_async_mobject_read_uint8(&mobj, base, 63, &byte), TLCRASH_ERR_NONE);
    EXPECT_EQ(byte, memory.bytes()[95]);
    EXPECT_EQ(tlcrash_async_mobject_read_uint16(&mobj, &tlcrash_async_byteorder_swapped, base, 2, &half),
              TLCRASH_ERR_NONE);
    EXPECT_EQ(half, (memory.bytes()[34] << 8) | memory.bytes()[35]);
    EXPECT_EQ(tlcrash_async_mobject_read_uint64(&mobj, tlcrash_async_byteorder_host(), base, 56, &wide),
              TLCRASH_ERR_NONE);
    EXPECT_EQ(tlcrash_async_mobject_read_uint64(&mobj, tlcrash_async_byteorder_host(), base, 57, &wide),
              TLCRASH_ERR_INVAL);
    EXPECT_EQ(tlcrash_async_mobject_read_uint32(&mobj, tlcrash_async_byteorder_host(), base, -1, &word),
              TLCRASH_ERR_INVAL);
    EXPECT_EQ(tlcrash_async_mobject_read_uint8(&mobj, base, INT64_MIN, &byte), TLCRASH_ERR_INVAL);

    EXPECT_EQ(tlcrash_async_mobject_remap(&mobj, base, 8, 56), memory.bytes() + 40);
    EXPECT_EQ(tlcrash_async_mobject_remap(&mobj, base, 8, 57), nullptr);
    EXPECT_TRUE(tlcrash_async_mobject_verify_local_pointer(&mobj, mobj.address, 0, 64));
    EXPECT_FALSE(tlcrash_async_mobject_verify_local_pointer(&mobj, mobj.address, 1, SIZE_MAX));

    // A freed object refuses every read, the one at local address 0 too.
    tlcrash_async_mobject_free(&mobj);
    EXPECT_EQ(tlcrash_async_mobject_read_uint8(&mobj, 0, 0, &byte), TLCRASH_ERR_INVAL);
}

namespace {

// The crash path reads whatever the kernel lets it read: a stack's redzones,
// a freed block, memory a sanitizer has marked. Such bytes read like any
// others, with no report from AddressSanitizer.
TEST(AsyncSafeMemory, ObjectsReadBytesTheSanitizerHasMarkedAsAnyOthers) {
    const size_t page = tlcrash_async_page_size();
    void* mapped = mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapped, MAP_FAILED);
    auto* bytes = static_cast<uint8_t*>(mapped);
    for (size_t i = 0; i < 16; ++i) bytes[i] = static_cast<uint8_t>(0x10 + i);
    ASAN_POISON_MEMORY_REGION(bytes, page);

    tlcrash_async_mobject mobj;
    const auto base = reinterpret_cast<uint64_t>(bytes);
    ASSERT_EQ(tlcrash_async_mobject_init(&mobj, tlcrash_task_self(), base, page, true), TLCRASH_ERR_NONE);
    uint64_t value = 0;
    EXPECT_EQ(tlcrash_async_mobject_read_uint64(&mobj, tlcrash_async_byteorder_host(), base, 8, &value),
              TLCRASH_ERR_NONE);
    uint64_t expected;
    ASAN_UNPOISON_MEMORY_REGION(bytes, page);
    std::memcpy(&expected, bytes + 8, 8);
    EXPECT_EQ(value, expected);
    munmap(mapped, page);
}

}  // namespace
