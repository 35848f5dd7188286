#include "crashes/reporter/async/TLCrashAsyncTask.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/auxv.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <pthread.h>
#include <unistd.h>

namespace {

// Set once the kernel refuses process_vm_readv for the own process; later
// reads go straight to the pipe.
std::atomic<bool> gVmReadvRefused{false};

bool isRefusal(int error) { return error == EPERM || error == ENOSYS; }

// A pipe for copying through the kernel; false when none can be made.
bool openPipe(int fds[2]) { return pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0; }

void closePipe(const int fds[2]) {
    close(fds[0]);
    close(fds[1]);
}

// Reads exactly `length` bytes that were just written to the pipe.
bool drainPipe(int fd, uint8_t* dest, size_t length) {
    size_t done = 0;
    while (done < length) {
        const ssize_t result = read(fd, dest + done, length - done);
        if (result < 0 && errno == EINTR) continue;
        if (result <= 0) return false;
        done += static_cast<size_t>(result);
    }
    return true;
}

// One step of a copy through the pipe: the bytes the kernel took from
// `source` (0 at the first unreadable byte), or -1 with errno.
ssize_t pipeStep(const int fds[2], uint64_t source, uint8_t* dest, size_t length) {
    for (;;) {
        const ssize_t written = write(fds[1], reinterpret_cast<const void*>(source), length);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return errno == EFAULT ? 0 : -1;
        if (!drainPipe(fds[0], dest, static_cast<size_t>(written))) return -1;
        return written;
    }
}

tlcrash_error_t codeForRefusal(int error) {
    if (isRefusal(error)) return TLCRASH_ERR_NOTSUP;
    if (error == ESRCH) return TLCRASH_ERR_NOTFOUND;
    return TLCRASH_ERR_UNKNOWN;
}

}  // namespace

namespace tlcrash_detail {

ssize_t readWithVmReadv(tlcrash_task_t task, uint64_t address, void* dest, size_t length) {
    auto* to = static_cast<uint8_t*>(dest);
    size_t done = 0;
    while (done < length) {
        iovec local{to + done, length - done};
        iovec remote{reinterpret_cast<void*>(address + done), length - done};
        const ssize_t result = process_vm_readv(task, &local, 1, &remote, 1, 0);
        if (result < 0 && errno == EINTR) continue;
        if (result < 0 && errno == EFAULT) break;
        if (result < 0) return -1;
        if (result == 0) break;
        done += static_cast<size_t>(result);
    }
    return static_cast<ssize_t>(done);
}

ssize_t readThroughPipe(uint64_t address, void* dest, size_t length) {
    int fds[2];
    if (!openPipe(fds)) return -1;
    auto* to = static_cast<uint8_t*>(dest);
    // A write that meets an unreadable byte takes nothing, so each stays
    // within a page; a page is below the pipe's capacity, so no write waits.
    const size_t page = tlcrash_async_page_size();
    size_t done = 0;
    while (done < length) {
        const size_t toBoundary = page - (address + done) % page;
        const size_t chunk = length - done < toBoundary ? length - done : toBoundary;
        const ssize_t result = pipeStep(fds, address + done, to + done, chunk);
        if (result < 0) {
            const int error = errno;
            closePipe(fds);
            errno = error;
            return -1;
        }
        if (result == 0) break;
        done += static_cast<size_t>(result);
    }
    closePipe(fds);
    return static_cast<ssize_t>(done);
}

}  // namespace tlcrash_detail

namespace {

// The process id, asked for once: every checked read compares with it, and
// asking the kernel each time doubled the cost of a stack walk. A forked
// child asks again.
std::atomic<pid_t> gSelf{0};
__attribute__((constructor)) void forgetSelfAfterFork() {
    pthread_atfork(nullptr, nullptr, [] { gSelf.store(0); });
}

}  // namespace

tlcrash_task_t tlcrash_task_self() {
    pid_t self = gSelf.load(std::memory_order_relaxed);
    if (self == 0) {
        self = getpid();
        gSelf.store(self, std::memory_order_relaxed);
    }
    return self;
}

tlcrash_thread_t tlcrash_current_thread_port() { return static_cast<tlcrash_thread_t>(syscall(SYS_gettid)); }

size_t tlcrash_async_page_size() {
    static std::atomic<size_t> cached{0};
    size_t size = cached.load();
    if (size == 0) {
        size = getauxval(AT_PAGESZ);
        if (size == 0) size = 4096;
        cached.store(size);
    }
    return size;
}

tlcrash_error_t tlcrash_async_read_task_memory(tlcrash_task_t task, uint64_t address, int64_t offset, void* dest,
                                               size_t length) {
    uint64_t start;
    if (!tlcrash_async_offset_address(address, offset, &start)) return TLCRASH_ERR_NOMEM;
    if (length == 0) return TLCRASH_ERR_NONE;
    uint64_t last;
    if (__builtin_add_overflow(start, length - 1, &last)) return TLCRASH_ERR_NOMEM;

    const bool self = task == tlcrash_task_self();
    ssize_t copied = -1;
    if (!self || !gVmReadvRefused.load()) {
        copied = tlcrash_detail::readWithVmReadv(task, start, dest, length);
        if (copied < 0) {
            if (!self || !isRefusal(errno)) return codeForRefusal(errno);
            gVmReadvRefused.store(true);
        }
    }
    if (copied < 0) {
        copied = tlcrash_detail::readThroughPipe(start, dest, length);
        if (copied < 0) return TLCRASH_ERR_UNKNOWN;
    }
    return static_cast<size_t>(copied) == length ? TLCRASH_ERR_NONE : TLCRASH_ERR_NOTFOUND;
}

namespace {

template <typename T>
tlcrash_error_t readTaskValue(tlcrash_task_t task, const tlcrash_async_byteorder* byteorder, uint64_t address,
                              int64_t offset, T* result) {
    T raw;
    const tlcrash_error_t error = tlcrash_async_read_task_memory(task, address, offset, &raw, sizeof raw);
    if (error == TLCRASH_ERR_NONE) *result = tlcrash_async_swap(byteorder, raw);
    return error;
}

}  // namespace

tlcrash_error_t tlcrash_async_read_task_uint32(tlcrash_task_t task, const tlcrash_async_byteorder* byteorder,
                                               uint64_t address, int64_t offset, uint32_t* result) {
    return readTaskValue(task, byteorder, address, offset, result);
}

tlcrash_error_t tlcrash_async_read_task_uint64(tlcrash_task_t task, const tlcrash_async_byteorder* byteorder,
                                               uint64_t address, int64_t offset, uint64_t* result) {
    return readTaskValue(task, byteorder, address, offset, result);
}

size_t tlcrash_async_readable_pages(tlcrash_task_t task, uint64_t address, size_t pages) {
    const size_t pageSize = tlcrash_async_page_size();
    const bool self = task == tlcrash_task_self();
    // One byte of each page tells whether the page can be read.
    constexpr size_t kBatch = 64;
    uint8_t scratch[kBatch];
    size_t readable = 0;
    if (!self || !gVmReadvRefused.load()) {
        iovec remote[kBatch];
        while (readable < pages) {
            const size_t batch = pages - readable < kBatch ? pages - readable : kBatch;
            for (size_t i = 0; i < batch; ++i) {
                remote[i] = {reinterpret_cast<void*>(address + (readable + i) * pageSize), 1};
            }
            iovec local{scratch, batch};
            const ssize_t result = process_vm_readv(task, &local, 1, remote, batch, 0);
            if (result < 0 && errno == EINTR) continue;
            if (result < 0 && self && isRefusal(errno)) {
                gVmReadvRefused.store(true);
                break;
            }
            if (result <= 0) return readable;
            readable += static_cast<size_t>(result);
            if (static_cast<size_t>(result) < batch) return readable;
        }
        if (!gVmReadvRefused.load() || !self) return readable;
    }
    int fds[2];
    if (!openPipe(fds)) return readable;
    while (readable < pages && pipeStep(fds, address + readable * pageSize, scratch, 1) == 1) ++readable;
    closePipe(fds);
    return readable;
}
