#pragma once
// The current session id and the history of session ids, kept in the
// telemetry user defaults ("SessionIdHistory") so that a log made in an
// earlier run (a crash) finds the session it belonged to. A new process
// has no current session until one is set. Thread-safe.

#include "telemetry/core/Context/TLMHistory.h"
#include "telemetry/core/Context/TLMHistoryInfos.h"

#include <chrono>
#include <optional>
#include <string>

class TLMSessionContext {
public:
    using Date = std::chrono::system_clock::time_point;
    static constexpr const char* kHistoryKey = "SessionIdHistory";
    // Entries kept; the oldest go first.
    static constexpr std::size_t kHistoryLimit = 5;

    static TLMSessionContext& sharedInstance();
    // Lets the shared instance go; the next use makes a new one (reading
    // what is stored, as a new process would). For tests that run one after
    // another in a process.
    static void resetSharedInstanceForTests();

    // Reads the stored history. The app has one, `sharedInstance`; another
    // reads the history as a new run would.
    TLMSessionContext();

    // Set in this run; none before.
    std::optional<std::string> sessionId() const;
    // Makes the id (or none: sessions stopped) current from now on and
    // stores the history.
    void setSessionId(std::optional<std::string> sessionId);
    // The id current at the date: that of the last entry made at or before
    // it; none before the first entry.
    std::optional<std::string> sessionIdAt(Date date) const;
    // Forgets the history, all of it or all but the current entry, and logs
    // "Cleared old sessions." at verbose level.
    void clearSessionHistoryAndKeepCurrentSession(bool keepCurrentSession);

private:
    TLMHistory<TLMSessionHistoryInfo> mHistory;
};
