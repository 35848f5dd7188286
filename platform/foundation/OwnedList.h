#pragma once
// Containers of raw owning pointers, as the document model keeps them (an
// element owns its components, a layout its elements, a render layer its
// drawing instructions): one way to delete them all, and a scoped owner for
// a list while it is being built.

#include <type_traits>
#include <utility>

namespace platform {

namespace detail {
template <class T>
struct IsPair : std::false_type {};
template <class A, class B>
struct IsPair<std::pair<A, B>> : std::true_type {};
}  // namespace detail

// Deletes what every entry points to (a map's mapped values), last entry
// first, and leaves the container empty. The container is emptied before
// the first delete, so no destructor can find a dangling pointer in it.
template <class Container>
void DeleteAll(Container& owned) noexcept {
    Container doomed;
    doomed.swap(owned);
    for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) {
        if constexpr (detail::IsPair<typename Container::value_type>::value) {
            delete it->second;
        } else {
            delete *it;
        }
    }
}

// Owns a list for the length of a scope: whatever is still in it at the end
// is deleted. Take the entries over with release().
template <class Container>
class ScopedOwnedList {
public:
    ScopedOwnedList() = default;
    explicit ScopedOwnedList(Container list) : mList(std::move(list)) {}
    ~ScopedOwnedList() { DeleteAll(mList); }
    ScopedOwnedList(const ScopedOwnedList&) = delete;
    ScopedOwnedList& operator=(const ScopedOwnedList&) = delete;

    Container& list() { return mList; }
    Container release() { return std::exchange(mList, {}); }

private:
    Container mList;
};

}  // namespace platform
