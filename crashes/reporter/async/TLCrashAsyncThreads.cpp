#include "crashes/reporter/async/TLCrashAsyncThreads.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>

namespace {

enum Phase : int { kIdle = 0, kRequested = 1, kWriting = 2, kAnswered = 3 };

std::atomic<int> gSignal{0};
// Held by the thread that takes a report.
std::atomic<tlcrash_thread_t> gOwner{0};
// The thread asked now, the phase of its answer and where it goes.
std::atomic<tlcrash_thread_t> gRequested{0};
std::atomic<int> gPhase{kIdle};
std::atomic<size_t> gSlot{0};
// Answered threads hold until the released count reaches their report's.
std::atomic<int> gGeneration{0};
std::atomic<int> gReleased{0};

tlcrash_async_thread_snapshot gSnapshots[TLCRASH_MAX_THREADS];

long futex(std::atomic<int>* word, int op, int value, const timespec* timeout) {
    return syscall(SYS_futex, reinterpret_cast<int*>(word), op, value, timeout, nullptr, 0);
}

int64_t nowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

timespec millis(int64_t ms) { return {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000}; }

}  // namespace

void tlcrash_async_threads_answer(int, siginfo_t*, void* uap) {
    const int savedErrno = errno;
    const auto self = static_cast<tlcrash_thread_t>(syscall(SYS_gettid));
    int expected = kRequested;
    if (gRequested.load() != self || !gPhase.compare_exchange_strong(expected, kWriting)) {
        errno = savedErrno;
        return;
    }
    const int generation = gGeneration.load();
    tlcrash_async_thread_snapshot& slot = gSnapshots[gSlot.load()];
    tlcrash_async_thread_state_load_from_context(&slot.state, static_cast<const ucontext_t*>(uap));
    slot.has_state = true;
    gPhase.store(kAnswered);
    futex(&gPhase, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr);

    // Held until the report is written; never longer than a minute, in case
    // the writer itself was stopped.
    const int64_t deadline = nowMs() + 60000;
    for (int released; (released = gReleased.load()) < generation;) {
        const int64_t left = deadline - nowMs();
        if (left <= 0) break;
        const timespec wait = millis(left);
        futex(&gReleased, FUTEX_WAIT_PRIVATE, released, &wait);
    }
    errno = savedErrno;
}

namespace {

// Asks `tid` for its state into slot `index`: true when it answered.
bool request(tlcrash_thread_t tid, size_t index, int64_t deadline) {
    gSlot.store(index);
    gRequested.store(tid);
    gPhase.store(kRequested);
    if (syscall(SYS_tgkill, getpid(), tid, gSignal.load()) != 0) {
        gPhase.store(kIdle);
        return false;
    }
    const int64_t end = nowMs() + TLCRASH_THREAD_ANSWER_MS < deadline ? nowMs() + TLCRASH_THREAD_ANSWER_MS : deadline;
    for (int phase; (phase = gPhase.load()) != kAnswered;) {
        const int64_t left = end - nowMs();
        if (left <= 0) {
            int expected = kRequested;
            // Too late, unless the thread has begun to write its answer.
            if (gPhase.compare_exchange_strong(expected, kIdle)) return false;
            continue;
        }
        const timespec wait = millis(left);
        futex(&gPhase, FUTEX_WAIT_PRIVATE, phase, &wait);
    }
    gPhase.store(kIdle);
    return true;
}

struct linux_dirent64 {
    uint64_t d_ino;
    int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

}  // namespace

ssize_t tlcrash_async_list_thread_ids(tlcrash_thread_t* ids, size_t capacity) {
    const int fd =
        static_cast<int>(syscall(SYS_openat, AT_FDCWD, "/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd < 0) return -1;
    alignas(8) char buffer[2048];
    size_t count = 0;
    for (;;) {
        const long read = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (read <= 0) break;
        for (long at = 0; at < read;) {
            const auto* entry = reinterpret_cast<const linux_dirent64*>(buffer + at);
            at += entry->d_reclen;
            tlcrash_thread_t tid = 0;
            bool number = entry->d_name[0] != '\0';
            for (const char* c = entry->d_name; *c != '\0'; ++c) {
                if (*c < '0' || *c > '9') number = false;
                tid = tid * 10 + (*c - '0');
            }
            if (number && count < capacity) ids[count++] = tid;
        }
    }
    syscall(SYS_close, fd);
    return static_cast<ssize_t>(count);
}

int tlcrash_async_threads_signal() { return gSignal.load(); }

void tlcrash_async_threads_use_signal(int signo) { gSignal.store(signo); }

void tlcrash_async_threads_suspend(tlcrash_async_thread_list* list) {
    const tlcrash_thread_t self = tlcrash_current_thread_port();
    for (tlcrash_thread_t expected = 0; !gOwner.compare_exchange_strong(expected, self); expected = 0) {
        if (expected == self) break;  // a fault inside our own report
        const timespec pause = millis(1);
        nanosleep(&pause, nullptr);
    }
    gGeneration.fetch_add(1);

    static tlcrash_thread_t ids[TLCRASH_MAX_THREADS];
    const ssize_t listed = tlcrash_async_list_thread_ids(ids, TLCRASH_MAX_THREADS);
    const size_t count = listed < 0 ? 0 : static_cast<size_t>(listed);
    const int64_t deadline = nowMs() + TLCRASH_THREADS_ANSWER_TOTAL_MS;
    for (size_t i = 0; i < count; ++i) {
        tlcrash_async_thread_snapshot& slot = gSnapshots[i];
        slot.tid = ids[i];
        slot.has_state = false;
        if (ids[i] == self || i >= TLCRASH_MAX_SNAPSHOT_THREADS || gSignal.load() == 0 || nowMs() >= deadline) {
            continue;
        }
        request(ids[i], i, deadline);
    }
    list->count = count;
    list->threads = gSnapshots;
}

void tlcrash_async_threads_resume(tlcrash_async_thread_list* list) {
    gReleased.store(gGeneration.load());
    futex(&gReleased, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr);
    list->count = 0;
    gOwner.store(0);
}
