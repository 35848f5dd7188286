#pragma once
// The analytics service: counts named usage events and hands them, as event
// logs, to its channel unit "Analytics".

#include "telemetry/Internals/Model/TLMAbstractLog.h"
#include "telemetry/TLMFlags.h"
#include "telemetry/TLMServiceAbstract.h"

#include <map>
#include <memory>
#include <string>

class TLMAnalytics : public TLMServiceAbstract {
public:
    using Properties = std::map<std::string, std::string>;

    static TLMAnalytics& sharedInstance();

    // False before the service is started (with the "hasn't been started"
    // error), otherwise the persisted enabled flag.
    static bool isEnabled();
    // Switches the service when it was started and the client is enabled
    // (or switching itself); with the client off it logs an error and
    // changes nothing; before start it logs the start error and does nothing.
    static void setEnabled(bool isEnabled);

    // Hands one event with that name and those properties (none when empty)
    // to the channel. Nothing is sent before start or while disabled.
    static void trackEvent(const std::string& eventName);
    static void trackEvent(const std::string& eventName, const Properties& properties);

    std::string serviceName() const override { return "Analytics"; }
    std::string logTag() const override { return "TelemetryAnalytics"; }
    bool isAppSecretRequired() const override { return false; }
    std::optional<TLMChannelUnitConfiguration> channelUnitConfiguration() const override;

    void startWithChannelGroup(std::shared_ptr<TLMChannelGroupDefault> channelGroup,
                               std::optional<std::string> appSecret, std::optional<std::string> transmissionTargetToken,
                               bool fromApplication) override;
    void applyEnabledState(bool isEnabled) override;

    // Enqueues the log on the service's unit.
    void sendLog(std::shared_ptr<TLMAbstractLog> log, TLMFlags flags);

    // Seconds between flushes of the "Analytics" unit.
    std::uint64_t flushInterval() const { return mFlushInterval; }

private:
    TLMAnalytics();

    std::uint64_t mFlushInterval = 6;
    std::optional<TLMChannelUnitConfiguration> mChannelUnitConfiguration;
};
