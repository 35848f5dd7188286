#pragma once
// One channel unit: the logs of one group waiting to be sent.
//
// For now the waiting logs are kept in memory in enqueueing order; they
// move to the log database once there is one. Thread-safe.

#include "telemetry/Internals/Channel/TLMChannelUnitConfiguration.h"
#include "telemetry/Internals/Model/TLMAbstractLog.h"
#include "telemetry/TLMFlags.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// A log accepted by a unit, with the identifier the unit gave it.
struct TLMPendingLog {
    std::shared_ptr<TLMAbstractLog> log;
    std::string internalId;
    TLMFlags flags = TLMFlagsNone;
};

class TLMChannelUnitDefault {
public:
    explicit TLMChannelUnitDefault(TLMChannelUnitConfiguration configuration);

    const TLMChannelUnitConfiguration& configuration() const { return mConfiguration; }

    // Fills a missing timestamp with now and a missing device with this
    // host's record, refuses an invalid (or null) log
    // with the warning "Log is not valid.", gives an accepted log a new UUID
    // text as internal id and keeps it. A disabled unit drops the log.
    void enqueueItem(std::shared_ptr<TLMAbstractLog> item, TLMFlags flags);

    // Enables or disables the unit; disabling with deletion drops every
    // waiting log.
    void setEnabled(bool isEnabled, bool deleteDataOnDisabled);
    bool isEnabled() const;

    // The waiting logs, oldest first.
    std::vector<TLMPendingLog> pendingLogs() const;
    std::size_t countLogs() const;

private:
    const TLMChannelUnitConfiguration mConfiguration;
    mutable std::mutex mMutex;
    bool mEnabled = true;
    std::vector<TLMPendingLog> mPendingLogs;
};
