#include "platform/dispatch/MainThread.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace platform {

bool isMainThread() {
    // The initial thread's id is the process id; a forked child's only
    // thread is its initial one.
    thread_local const bool isMain = ::gettid() == ::getpid();
    return isMain;
}

void requireMainThread(const char* what) {
    if (!isMainThread()) throw std::logic_error(std::string(what) + " must be called on the main thread");
}

void abortOffMainThread(const char* door, const char* detail) {
    std::fprintf(stderr, "%s%s%s%s entered off the main thread (thread %d); the toolkit is for the main thread only\n",
                 door, detail ? " (" : "", detail ? detail : "", detail ? ")" : "", static_cast<int>(::gettid()));
    std::fflush(stderr);
    std::abort();
}

}  // namespace platform
