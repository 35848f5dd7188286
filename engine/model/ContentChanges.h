#pragma once
// A count of the changes to anything a layout's content bounds depend on:
// the lists of elements, images and baseboards, the placement and shape of
// elements and their components, images, baseboards and their borders, and
// layers (their visibility, their type, their list). Every such change
// notes itself here, so that bounds worked out at one count stay good while
// the count stays the same. One count serves every document: a change to
// one only costs the others a fresh computation.

#include <atomic>
#include <cstdint>

namespace UContentChanges {

namespace detail {
inline std::atomic<std::uint64_t> gCount{0};
}  // namespace detail

inline void Note() noexcept { detail::gCount.fetch_add(1, std::memory_order_relaxed); }
inline std::uint64_t Count() noexcept { return detail::gCount.load(std::memory_order_relaxed); }

}  // namespace UContentChanges
