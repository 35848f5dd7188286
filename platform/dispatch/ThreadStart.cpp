#include "platform/dispatch/ThreadStart.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

// The calling thread's alternate stack, released when the thread ends.
struct AlternateStack {
    void* mapping = nullptr;
    std::size_t length = 0;
    ~AlternateStack() {
        if (mapping == nullptr) return;
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
        munmap(mapping, length);
    }
};

}  // namespace

int attachAlternateSignalStack() {
    thread_local AlternateStack stack;
    if (stack.mapping != nullptr) return 0;
    stack_t current{};
    // A stack someone else gave the thread stays (a sanitizer's, say).
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) return 0;

    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t length = kAlternateSignalStackSize + page;
    void* mapping = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) return errno;
    // The lowest page guards against the handler itself overflowing.
    mprotect(mapping, page, PROT_NONE);
    stack_t alternate{};
    alternate.ss_sp = static_cast<char*>(mapping) + page;
    alternate.ss_size = kAlternateSignalStackSize;
    if (sigaltstack(&alternate, nullptr) != 0) {
        const int failure = errno;
        munmap(mapping, length);
        return failure;
    }
    stack.mapping = mapping;
    stack.length = length;
    return 0;
}

}  // namespace platform
