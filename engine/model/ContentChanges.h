#pragma once
// A count of the changes to anything a layout's content bounds depend on:
// the lists of elements, images and baseboards, the placement and shape of
// elements and their components, images, baseboards and their borders, and
// layers (their visibility, their type, their list). Every such change
// notes itself here, so that bounds worked out at one count stay good while
// the count stays the same. One count serves every document: a change to
// one only costs the others a fresh computation.
//
// The changes noted on the main thread, where the open document is changed,
// are counted apart as well: work that reads the open document in several
// goes between the main thread's turns can tell whether the main thread
// changed anything meanwhile, whatever other threads do to layouts of their
// own. Both counts may grow without a real change (handing a list out
// counts), never the other way round.

#include <atomic>
#include <cstdint>

#include "platform/dispatch/MainThread.h"

namespace UContentChanges {

namespace detail {
inline std::atomic<std::uint64_t> gCount{0};
inline std::atomic<std::uint64_t> gMainThreadCount{0};
}  // namespace detail

inline void Note() noexcept {
    detail::gCount.fetch_add(1, std::memory_order_relaxed);
    if (platform::isMainThread()) detail::gMainThreadCount.fetch_add(1, std::memory_order_relaxed);
}
inline std::uint64_t Count() noexcept { return detail::gCount.load(std::memory_order_relaxed); }
// The changes noted on the main thread; read it there.
inline std::uint64_t MainThreadCount() noexcept { return detail::gMainThreadCount.load(std::memory_order_relaxed); }

}  // namespace UContentChanges
