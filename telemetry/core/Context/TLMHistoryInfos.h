#pragma once
// The entries of the three histories the contexts keep: which device,
// session and user id were current from which time on.

#include "platform/foundation/TextEncoding.h"
#include "telemetry/Model/TLMDevice.h"
#include "telemetry/core/Model/TLMHistoryInfo.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

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

// An entry that adds one text, or none, under its key.
class TLMTextHistoryInfo : public TLMHistoryInfo {
public:
    // The timestamp, then the text under the key when there is one.
    void encodeWithCoder(TLMKeyedArchiver& coder) const override {
        TLMHistoryInfo::encodeWithCoder(coder);
        if (mText) coder.encodeObject(*mText, mKey);
    }

protected:
    TLMTextHistoryInfo(Timestamp timestamp, std::optional<std::string> text, const char* key)
        : TLMHistoryInfo(timestamp), mText(std::move(text)), mKey(key) {}
    TLMTextHistoryInfo(const TLMKeyedUnarchiver& coder, const char* key)
        : TLMTextHistoryInfo(coder, optionalText(coder, key), key) {}
    // With the text read from the coder already.
    TLMTextHistoryInfo(const TLMKeyedUnarchiver& coder, std::optional<std::string> text, const char* key)
        : TLMHistoryInfo(coder), mText(std::move(text)), mKey(key) {}

    const std::optional<std::string>& text() const { return mText; }

private:
    std::optional<std::string> mText;
    const char* mKey;
};

// A session id under "sessionId", or none from the time sessions stopped.
class TLMSessionHistoryInfo : public TLMTextHistoryInfo {
public:
    TLMSessionHistoryInfo(Timestamp timestamp, std::optional<std::string> sessionId)
        : TLMTextHistoryInfo(timestamp, std::move(sessionId), kKey) {}
    explicit TLMSessionHistoryInfo(const TLMKeyedUnarchiver& coder) : TLMTextHistoryInfo(coder, kKey) {}

    const std::optional<std::string>& sessionId() const { return text(); }

private:
    static constexpr const char* kKey = "sessionId";
};

// A user id under "userId", or none from the time the app cleared it.
class TLMUserIdHistoryInfo : public TLMTextHistoryInfo {
public:
    TLMUserIdHistoryInfo(Timestamp timestamp, std::optional<std::string> userId)
        : TLMTextHistoryInfo(timestamp, std::move(userId), kKey) {}
    // Older builds kept an id that is not valid UTF-8 (a host text) as it
    // came; every log carrying it could not be written as JSON. Read back,
    // each byte that begins no well-formed sequence becomes U+FFFD.
    explicit TLMUserIdHistoryInfo(const TLMKeyedUnarchiver& coder)
        : TLMTextHistoryInfo(coder, validUtf8(optionalText(coder, kKey)), kKey) {}

    const std::optional<std::string>& userId() const { return text(); }

    // The id made valid as above; none stays none.
    static std::optional<std::string> validUtf8(std::optional<std::string> userId) {
        if (userId) userId = platform::validUtf8(*userId);
        return userId;
    }

private:
    static constexpr const char* kKey = "userId";
};
