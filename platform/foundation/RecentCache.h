#pragma once
// A bounded table of values by key that, when full, lets go of the entries
// used least recently (an eighth of them at once, so that the sort that
// finds them is paid once per many additions), never of all: what a busy
// screen uses again and again stays. Each entry keeps the time of its last
// use as an atomic stamp, so lookups may run side by side under a shared
// lock; additions need the lock alone. The caller does the locking.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform {

template <typename Value>
class RecentCache {
public:
    explicit RecentCache(std::size_t capacity) : mCapacity(std::max<std::size_t>(capacity, 1)) {}
    RecentCache(const RecentCache&) = delete;
    RecentCache& operator=(const RecentCache&) = delete;

    // The value kept under `key`, marked as used now; null when there is
    // none. Safe beside other finds.
    const Value* find(const std::string& key) const {
        const auto found = mEntries.find(key);
        if (found == mEntries.end()) return nullptr;
        found->second.used.store(mTick.fetch_add(1, std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        return &found->second.value;
    }

    // Keeps `value` under `key` and gives what is kept (the value already
    // there, when there is one). When full, the least recently used entries
    // go first, each handed to `evicted` (as Value&&) once out of the table.
    template <typename Evicted>
    const Value& insert(std::string key, Value value, Evicted&& evicted) {
        if (const Value* kept = find(key)) return *kept;
        if (mEntries.size() >= mCapacity) evictLeastRecent(evicted);
        auto [at, added] = mEntries.emplace(std::piecewise_construct, std::forward_as_tuple(std::move(key)),
                                            std::forward_as_tuple(std::move(value)));
        at->second.used.store(mTick.fetch_add(1, std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        return at->second.value;
    }

    const Value& insert(std::string key, Value value) {
        return insert(std::move(key), std::move(value), [](Value&&) {});
    }

    std::size_t size() const { return mEntries.size(); }
    std::size_t capacity() const { return mCapacity; }

private:
    struct Entry {
        explicit Entry(Value v) : value(std::move(v)) {}
        Value value;
        mutable std::atomic<std::uint64_t> used{0};
    };
    using Table = std::unordered_map<std::string, Entry>;

    template <typename Evicted>
    void evictLeastRecent(Evicted& evicted) {
        const std::size_t count = std::max<std::size_t>(mCapacity / 8, 1);
        std::vector<std::pair<std::uint64_t, typename Table::iterator>> byUse;
        byUse.reserve(mEntries.size());
        for (auto it = mEntries.begin(); it != mEntries.end(); ++it)
            byUse.emplace_back(it->second.used.load(std::memory_order_relaxed), it);
        const auto cut = byUse.begin() + static_cast<std::ptrdiff_t>(std::min(count, byUse.size()));
        std::nth_element(byUse.begin(), cut - 1, byUse.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto it = byUse.begin(); it != cut; ++it) {
            Value value = std::move(it->second->second.value);
            mEntries.erase(it->second);
            evicted(std::move(value));
        }
    }

    const std::size_t mCapacity;
    Table mEntries;
    mutable std::atomic<std::uint64_t> mTick{0};
};

}  // namespace platform
