#pragma once
// The values a transmission target writes into its unified-schema logs:
// application version, name and locale, user id (these four inherited by
// child targets), device id (this target's own), and default typed
// properties of its events.
//
// Threads: safe from any thread; logs are decorated on the enqueuing thread.

#include "telemetry/TelemetryAnalytics/Model/TLMEventProperties.h"
#include "telemetry/core/Channel/TLMChannelDelegate.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

class TLMAnalyticsTransmissionTarget;

class TLMPropertyConfigurator : public TLMChannelDelegate {
public:
    explicit TLMPropertyConfigurator(std::weak_ptr<TLMAnalyticsTransmissionTarget> transmissionTarget);

    void setAppVersion(std::optional<std::string> appVersion);
    void setAppName(std::optional<std::string> appName);
    void setAppLocale(std::optional<std::string> appLocale);
    // Kept in its prefixed form ("c:" unless it has a prefix), and only when
    // the unified collector takes it; otherwise nothing changes. Bytes that
    // are not UTF-8 become U+FFFD.
    void setUserId(const std::optional<std::string>& userId);

    std::optional<std::string> appVersion() const;
    std::optional<std::string> appName() const;
    std::optional<std::string> appLocale() const;
    std::optional<std::string> userId() const;
    std::optional<std::string> deviceId() const;

    // Default properties, with the container's checks and messages.
    void setEventPropertyString(const std::optional<std::string>& value, const std::string& key);
    void setEventPropertyDouble(double value, const std::string& key);
    void setEventPropertyInt64(std::int64_t value, const std::string& key);
    void setEventPropertyBool(bool value, const std::string& key);
    void setEventPropertyDate(const std::optional<TLMEventProperties::Date>& value, const std::string& key);
    // An empty key logs "Event property key to remove cannot be nil." at
    // error level.
    void removeEventPropertyForKey(const std::string& key);
    // Copies every default whose name `properties` does not hold yet.
    void mergeTypedPropertiesWith(TLMEventProperties& properties) const;

    // The device id becomes getDeviceIdentifier().
    void collectDeviceId();
    // "i:" and the installation's identifier in upper case: stable for the
    // install, as the platform's vendor identifier is.
    static std::string getDeviceIdentifier();

    // A unified-schema log of the target (its tag) gets the values found
    // walking from the target up, and this configurator's device id.
    void channelPrepareLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log) override;

private:
    const std::weak_ptr<TLMAnalyticsTransmissionTarget> mTransmissionTarget;
    mutable std::mutex mMutex;
    std::optional<std::string> mAppVersion;
    std::optional<std::string> mAppName;
    std::optional<std::string> mAppLocale;
    std::optional<std::string> mUserId;
    std::optional<std::string> mDeviceId;
    TLMEventProperties mEventProperties;
};
