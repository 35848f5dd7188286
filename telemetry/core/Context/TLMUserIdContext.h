#pragma once
// The app's user id and the history of user ids, kept in the telemetry
// user defaults ("UserIdHistory") so that a log made in an earlier run (a
// crash) finds the user of its time. A new process has no user id until
// the app sets one. Thread-safe.

#include "telemetry/core/Context/TLMHistory.h"
#include "telemetry/core/Context/TLMHistoryInfos.h"

#include <chrono>
#include <optional>
#include <string>

class TLMUserIdContext {
public:
    using Date = std::chrono::system_clock::time_point;
    static constexpr const char* kHistoryKey = "UserIdHistory";
    // Entries kept; the oldest go first.
    static constexpr std::size_t kHistoryLimit = 5;

    static TLMUserIdContext& sharedInstance();
    // Lets the shared instance go; the next use makes a new one (reading
    // what is stored, as a new process would). For tests that run one after
    // another in a process.
    static void resetSharedInstanceForTests();

    // Reads the stored history. The app has one, `sharedInstance`; another
    // reads the history as a new run would.
    TLMUserIdContext();

    // Set in this run; none before.
    std::optional<std::string> userId() const;
    // Makes the id (or none) current from now on and stores the history;
    // bytes that are not UTF-8 become U+FFFD, as in ids read back.
    void setUserId(std::optional<std::string> userId);
    // The id current at the date: that of the last entry made at or before
    // it; none before the first entry.
    std::optional<std::string> userIdAt(Date date) const;
    // Forgets every entry but the current one.
    void clearUserIdHistory();

    // Whether the unified collector takes the id: none (no user), or a
    // non-empty id whose prefix, when it has one ("c:…"), is "c" and is
    // followed by something.
    static bool isUserIdValidForUnifiedCollector(const std::optional<std::string>& userId);
    // None for none; an id with a ":" as it is; any other behind "c:".
    static std::optional<std::string> prefixedUserIdFromUserId(const std::optional<std::string>& userId);

private:
    TLMHistory<TLMUserIdHistoryInfo> mHistory;
};
