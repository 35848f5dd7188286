#pragma once
// The base of every log the telemetry client stores and sends: its kind,
// time, session, user, device and region; its JSON and keyed archive; and
// the transmission targets it is to reach. Texts are empty when absent.
//
// A log is built on one thread and then handed to the channel: its fields
// are not synchronised, apart from the transmission-target tokens.

#include "telemetry/Model/TLMDevice.h"
#include "telemetry/core/Model/TLMLogConversion.h"
#include "telemetry/core/Model/TLMSerializableObject.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

class TLMAbstractLog : public TLMSerializableObject, public TLMLogConversion {
public:
    using Timestamp = std::chrono::system_clock::time_point;
    using TargetTokens = std::set<std::string>;

    // "startService", "startSession", "event", "page", "appleError",
    // "handledError", "errorAttachment".
    const std::string& type() const { return mType; }
    void setType(std::string type) { mType = std::move(type); }

    // Filled by the channel with the enqueueing time when missing.
    const std::optional<Timestamp>& timestamp() const { return mTimestamp; }
    void setTimestamp(std::optional<Timestamp> timestamp) { mTimestamp = timestamp; }

    // The session identifier.
    const std::string& sid() const { return mSid; }
    void setSid(std::string sid) { mSid = std::move(sid); }
    const std::string& distributionGroupId() const { return mDistributionGroupId; }
    void setDistributionGroupId(std::string distributionGroupId) {
        mDistributionGroupId = std::move(distributionGroupId);
    }
    const std::string& userId() const { return mUserId; }
    void setUserId(std::string userId) { mUserId = std::move(userId); }
    const std::string& dataResidencyRegion() const { return mDataResidencyRegion; }
    void setDataResidencyRegion(std::string dataResidencyRegion) {
        mDataResidencyRegion = std::move(dataResidencyRegion);
    }

    // Filled by the channel from the device tracker when missing.
    const std::shared_ptr<TLMDevice>& device() const { return mDevice; }
    void setDevice(std::shared_ptr<TLMDevice> device) { mDevice = std::move(device); }

    // The object that made the log (a transmission target): compared by
    // identity, never written or archived.
    const std::shared_ptr<void>& tag() const { return mTag; }
    void setTag(std::shared_ptr<void> tag) { mTag = std::move(tag); }

    // The tokens of the targets the log goes to; null before the first is
    // added. A set handed out never changes: adding replaces it, so it may
    // be read without the lock. Neither written nor archived nor compared.
    std::shared_ptr<const TargetTokens> transmissionTargetTokens() const;
    void setTransmissionTargetTokens(std::shared_ptr<const TargetTokens> tokens);
    void addTransmissionTargetToken(const std::string& token);

    // "type", "timestamp" (ISO 8601), "sid", "distributionGroupId",
    // "userId", "device" (its own object) and "dataResidencyRegion", each
    // only when set. Subclasses add their keys after these.
    TLMOrderedDictionary serializeToDictionary() const override;

    // The log's JSON text, compact or indented; none when JSON cannot hold
    // it (nothing is logged).
    std::optional<std::string> serializeLogWithPrettyPrinting(bool prettyPrint) const;

    // Whether the log may be sent: a type, a timestamp and a valid device.
    // The first failing check is logged at verbose level with the class and
    // the field's name.
    virtual bool isValid() const;

    // Another log (of any class) with the same tag, type, timestamp, sid,
    // distribution group, user, device (by its equality) and region.
    bool isEqual(const TLMCoding& other) const override;

    // The seven stored fields under their JSON keys; the tag and tokens are
    // not archived.
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

    // One unified-schema log per token, in the tokens' order.
    std::vector<std::shared_ptr<TLMUnifiedSchemaLog>> toUnifiedSchemaLogsWithFlags(TLMFlags flags) const override;
    // The unified-schema log of this log for one token: version "3.0", this
    // log's time, the token's iKey, the flags, and extensions filled from the
    // device record and the user id. Name and data stay unset; a log kind
    // that has them sets them after calling this.
    virtual std::shared_ptr<TLMUnifiedSchemaLog> toUnifiedSchemaLogForTargetToken(const std::string& token,
                                                                                  TLMFlags flags) const;

    // "Version 17.2 (Build 21C62)", "Version 17.2" without a build,
    // "Build 21C62" without a version; empty without both.
    static std::string combineOsVersion(const std::string& version, const std::string& build);
    // "<name>-<version>" when both are set; empty otherwise.
    static std::string combineSDKLibVer(const std::string& name, const std::string& version);
    // Minutes east of UTC as a signed offset: 345 gives "+05:45", -30
    // gives "-00:30", 0 gives "+00:00".
    static std::string convertTimeZoneOffsetToISO8601(std::int64_t offsetInMinutes);

protected:
    TLMAbstractLog() = default;
    explicit TLMAbstractLog(const TLMKeyedUnarchiver& coder);

private:
    std::string mType;
    std::optional<Timestamp> mTimestamp;
    std::string mSid;
    std::string mDistributionGroupId;
    std::string mUserId;
    std::string mDataResidencyRegion;
    std::shared_ptr<TLMDevice> mDevice;
    std::shared_ptr<void> mTag;
    mutable std::mutex mTokensMutex;
    std::shared_ptr<const TargetTokens> mTransmissionTargetTokens;
};
