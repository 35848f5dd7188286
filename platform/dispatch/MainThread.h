#pragma once
// The main thread is the process's initial thread: the one that runs the
// main run loop and everything the screens do.

namespace platform {

bool isMainThread();

// Throws std::logic_error naming `what` when called off the main thread.
void requireMainThread(const char* what);

// Writes that `door` (and `detail`, when given) was entered off the main
// thread to standard error and aborts: for checks that a misuse must not
// survive, where throwing would let a half-made change stand.
[[noreturn]] void abortOffMainThread(const char* door, const char* detail = nullptr);

}  // namespace platform

// The toolkit's doors (a layer's property change, a view's needs-display,
// needs-layout and subview insertion) check the thread they are entered on
// in builds with VEKMONT_THREAD_CHECKS (on where the tests are built, see
// the top CMakeLists.txt); elsewhere the check is compiled out.
#if defined(VEKMONT_THREAD_CHECKS) && VEKMONT_THREAD_CHECKS
#define VEKMONT_MAIN_THREAD_ONLY(door, detail)                                         \
    do {                                                                               \
        if (!::platform::isMainThread()) ::platform::abortOffMainThread(door, detail); \
    } while (false)
#else
#define VEKMONT_MAIN_THREAD_ONLY(door, detail) ((void)0)
#endif
