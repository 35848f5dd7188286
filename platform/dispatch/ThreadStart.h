#pragma once
// Every thread the project starts is made by startThread, which gives it an
// alternate signal stack before anything else runs on it. Fatal signals are
// handled on that stack, so a stack overflow on the thread still reaches
// the crash reporter, however early the thread was started. Threads that
// libraries start for themselves are left as they are.

#include <cstddef>
#include <thread>
#include <type_traits>
#include <utility>

namespace platform {

// Bytes of each thread's alternate signal stack (a guard page lies below):
// room for the crash reporter's handler, which writes its report on it.
inline constexpr std::size_t kAlternateSignalStackSize = 64 * 1024;

// Gives the calling thread an alternate signal stack of its own, freed when
// the thread ends; a thread that has one already keeps it. 0, or the errno
// of the failure.
int attachAlternateSignalStack();

// A std::thread that attaches its alternate signal stack, then runs `body`
// (all the same when there was no memory for the stack).
template <typename Body>
std::thread startThread(Body&& body) {
    return std::thread([body = std::decay_t<Body>(std::forward<Body>(body))]() mutable {
        attachAlternateSignalStack();
        body();
    });
}

}  // namespace platform
