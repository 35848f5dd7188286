#include "platform/dispatch/MainThread.h"

#include <unistd.h>

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

}  // namespace platform
