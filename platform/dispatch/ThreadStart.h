#pragma once
// A function run first on every thread the project starts: the dispatch
// queues' threads and every other one, which is made through startThread
// (or, for a thread made another way, calls runThreadStartHook first).
// Crash reporting, which sits above the platform, gives each such thread a
// signal stack of its own through it, so that a crash there is reported,
// a stack overflow too.

#include <thread>
#include <type_traits>
#include <utility>

namespace platform {

using ThreadStartHook = void (*)();

// Threads started before the call do not run it.
void setThreadStartHook(ThreadStartHook hook);
void runThreadStartHook();

// A std::thread that runs the hook, then `body`.
template <typename Body>
std::thread startThread(Body&& body) {
    return std::thread([body = std::decay_t<Body>(std::forward<Body>(body))]() mutable {
        runThreadStartHook();
        body();
    });
}

}  // namespace platform
