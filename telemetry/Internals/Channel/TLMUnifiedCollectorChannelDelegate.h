#pragma once
// Sends the logs addressed to transmission targets to the unified
// collector. Every unit added to the group gets a twin, its group id
// followed by "/unified", that sends through the one unified-collector
// ingestion. A log with target tokens is kept out of its own unit and goes,
// as one unified-schema log per token, to the twin; each unified-schema log
// gets the epoch and next sequence number of its instrumentation key and
// the installation's identifier. Switching, pausing and resuming a unit
// switches, pauses and resumes its twin.
//
// Threads: safe from any thread, as the group calls it from the enqueuing
// threads and its logs queue.

#include "telemetry/Internals/Ingestion/TLMUnifiedCollectorIngestion.h"
#include "telemetry/core/Channel/TLMChannelDelegate.h"
#include "telemetry/core/Util/TLMUuid.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class TLMUnifiedCollectorChannelDelegate : public TLMChannelDelegate {
public:
    static constexpr const char* kUnifiedGroupIdSuffix = "/unified";

    // `installId` is the installation's UUID text; the base URL is the
    // default unified-collector endpoint when none is given.
    TLMUnifiedCollectorChannelDelegate(std::shared_ptr<TLMHttpClient> httpClient, const std::string& installId,
                                       const std::optional<std::string>& baseUrl);

    const std::shared_ptr<TLMUnifiedCollectorIngestion>& ingestion() const { return mIngestion; }
    // The unified-collector ingestion's base URL.
    void setLogUrl(const std::string& logUrl);

    static bool isUnifiedGroupId(const std::string& groupId);

    // A unit that is no twin gets one, with the default configuration, the
    // unit's flush interval and the unified-collector ingestion.
    void channelGroupDidAddChannelUnit(TLMChannelGroupDefault& channelGroup,
                                       const std::shared_ptr<TLMChannelUnitDefault>& channel) override;
    // A unified-schema log gets the epoch, the next sequence number of its
    // iKey and the install id in its SDK extension.
    void channelPrepareLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log) override;
    // A log of a unit that is no twin, with target tokens, goes converted to
    // the twin with the same flags.
    void channelDidPrepareLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log,
                              const std::string& internalId, TLMFlags flags) override;
    // Keeps logs with target tokens out of units that are no twins, and
    // invalid unified-schema logs out of twins.
    bool channelUnitShouldFilterLog(TLMChannelUnitDefault& channelUnit,
                                    const std::shared_ptr<TLMAbstractLog>& log) override;
    void channelDidSetEnabled(TLMChannelUnitDefault& channel, bool isEnabled, bool deleteDataOnDisabled) override;
    void channelDidPauseWithIdentifyingObject(TLMChannelUnitDefault& channel, const void* identifyingObject) override;
    void channelDidResumeWithIdentifyingObject(TLMChannelUnitDefault& channel, const void* identifyingObject) override;

private:
    struct EpochAndSeq {
        std::string epoch;
        std::int64_t seq = 0;
    };

    // The twin of a unit that is no twin; null when it has none.
    std::shared_ptr<TLMChannelUnitDefault> twinOf(const TLMChannelUnitDefault& channel) const;

    const std::optional<TLMUuid> mInstallId;
    const std::shared_ptr<TLMUnifiedCollectorIngestion> mIngestion;

    mutable std::mutex mMutex;
    std::map<std::string, EpochAndSeq> mEpochsAndSeqsByIKey;
    std::map<std::string, std::weak_ptr<TLMChannelUnitDefault>> mTwinsByGroupId;
};
