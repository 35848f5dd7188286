#pragma once
// A history of timestamped entries in time order, kept in the telemetry
// user defaults as the keyed archive of their array, so that it outlives
// the process: which device, session or user id was current when a log of
// an earlier run (a crash) was made.
//

#include "telemetry/core/Model/TLMHistoryInfo.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The stored entries of the key with a timestamp, in time order; empty
// when none are stored or they cannot be read (the reason is logged).
std::vector<std::shared_ptr<TLMHistoryInfo>> TLMLoadHistory(const std::string& defaultsKey);
// Stores the entries under the key.
void TLMStoreHistory(const std::string& defaultsKey, const std::vector<std::shared_ptr<TLMHistoryInfo>>& entries);

// The entry current in this run, and the history of entries of this and
// earlier runs. Thread-safe.
template <typename Info>
class TLMHistory {
public:
    using Timestamp = TLMHistoryInfo::Timestamp;

    // Reads what is stored under the key; keeps at most `limit` entries,
    // dropping the oldest. Nothing is current yet.
    TLMHistory(std::string defaultsKey, std::size_t limit) : mKey(std::move(defaultsKey)), mLimit(limit) {
        for (auto& entry : TLMLoadHistory(mKey)) {
            if (auto typed = std::dynamic_pointer_cast<Info>(entry)) mEntries.push_back(std::move(typed));
        }
        trim();
    }

    std::shared_ptr<Info> current() const {
        std::lock_guard lock(mMutex);
        return mCurrent;
    }

    // Makes the entry current and adds it to the history, after the entries
    // of its time or earlier; drops the oldest beyond the limit and stores
    // the history.
    void setCurrent(std::shared_ptr<Info> entry) {
        std::lock_guard lock(mMutex);
        mCurrent = entry;
        const auto at = std::upper_bound(mEntries.begin(), mEntries.end(), *entry->timestamp(), laterThan);
        mEntries.insert(at, std::move(entry));
        trim();
        store();
    }

    // Forgets the history but for the current entry when it is kept, and
    // stores it; the current entry stays current.
    void clear(bool keepCurrent) {
        std::lock_guard lock(mMutex);
        mEntries.clear();
        if (keepCurrent && mCurrent) mEntries.push_back(mCurrent);
        store();
    }

    // The entry current at the date: the last one made at or before it;
    // with `orFirst` the first one for a date before all, else null then.
    // Null when there are no entries.
    std::shared_ptr<Info> entryAt(Timestamp date, bool orFirst) const {
        std::lock_guard lock(mMutex);
        const auto after = std::upper_bound(mEntries.begin(), mEntries.end(), date, laterThan);
        if (after != mEntries.begin()) return *(after - 1);
        return orFirst && !mEntries.empty() ? mEntries.front() : nullptr;
    }

    // The newest entry, of this run or an earlier one.
    std::shared_ptr<Info> last() const {
        std::lock_guard lock(mMutex);
        return mEntries.empty() ? nullptr : mEntries.back();
    }

    // Oldest first.
    std::vector<std::shared_ptr<Info>> entries() const {
        std::lock_guard lock(mMutex);
        return mEntries;
    }

private:
    static bool laterThan(Timestamp date, const std::shared_ptr<Info>& entry) { return date < *entry->timestamp(); }

    void trim() {
        if (mEntries.size() > mLimit) mEntries.erase(mEntries.begin(), mEntries.end() - mLimit);
    }

    void store() const { TLMStoreHistory(mKey, {mEntries.begin(), mEntries.end()}); }

    const std::string mKey;
    const std::size_t mLimit;
    mutable std::mutex mMutex;
    std::vector<std::shared_ptr<Info>> mEntries;
    std::shared_ptr<Info> mCurrent;
};
