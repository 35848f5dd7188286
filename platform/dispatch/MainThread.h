#pragma once
// The main thread is the process's initial thread: the one that runs the
// main run loop and everything the screens do.

namespace platform {

bool isMainThread();

// Throws std::logic_error naming `what` when called off the main thread.
void requireMainThread(const char* what);

}  // namespace platform
