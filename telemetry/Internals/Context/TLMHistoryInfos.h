#pragma once
// The entries of the three histories the contexts keep: which device,
// session and user id were current from which time on.

#include "telemetry/Internals/Model/TLMHistoryInfo.h"
#include "telemetry/Model/TLMDevice.h"

#include <memory>
#include <optional>
#include <string>

class TLMDeviceHistoryInfo : public TLMHistoryInfo {
public:
    TLMDeviceHistoryInfo(Timestamp timestamp, std::shared_ptr<TLMDevice> device)
        : TLMHistoryInfo(timestamp), mDevice(std::move(device)) {}
    explicit TLMDeviceHistoryInfo(const TLMKeyedUnarchiver& coder)
        : TLMHistoryInfo(coder), mDevice(coder.decodeObjectOfClass<TLMDevice>("device")) {}

    const std::shared_ptr<TLMDevice>& device() const { return mDevice; }

    // The timestamp, then the device under "device".
    void encodeWithCoder(TLMKeyedArchiver& coder) const override {
        TLMHistoryInfo::encodeWithCoder(coder);
        coder.encodeObject(mDevice, "device");
    }

private:
    std::shared_ptr<TLMDevice> mDevice;
};

// A session id, or none from the time sessions stopped.
class TLMSessionHistoryInfo : public TLMHistoryInfo {
public:
    TLMSessionHistoryInfo(Timestamp timestamp, std::optional<std::string> sessionId)
        : TLMHistoryInfo(timestamp), mSessionId(std::move(sessionId)) {}
    explicit TLMSessionHistoryInfo(const TLMKeyedUnarchiver& coder)
        : TLMHistoryInfo(coder), mSessionId(optionalText(coder, "sessionId")) {}

    const std::optional<std::string>& sessionId() const { return mSessionId; }

    // The timestamp, then the id under "sessionId" when there is one.
    void encodeWithCoder(TLMKeyedArchiver& coder) const override {
        TLMHistoryInfo::encodeWithCoder(coder);
        if (mSessionId) coder.encodeObject(*mSessionId, "sessionId");
    }

private:
    std::optional<std::string> mSessionId;
};

// A user id, or none from the time the app cleared it.
class TLMUserIdHistoryInfo : public TLMHistoryInfo {
public:
    TLMUserIdHistoryInfo(Timestamp timestamp, std::optional<std::string> userId)
        : TLMHistoryInfo(timestamp), mUserId(std::move(userId)) {}
    explicit TLMUserIdHistoryInfo(const TLMKeyedUnarchiver& coder)
        : TLMHistoryInfo(coder), mUserId(optionalText(coder, "userId")) {}

    const std::optional<std::string>& userId() const { return mUserId; }

    // The timestamp, then the id under "userId" when there is one.
    void encodeWithCoder(TLMKeyedArchiver& coder) const override {
        TLMHistoryInfo::encodeWithCoder(coder);
        if (mUserId) coder.encodeObject(*mUserId, "userId");
    }

private:
    std::optional<std::string> mUserId;
};
