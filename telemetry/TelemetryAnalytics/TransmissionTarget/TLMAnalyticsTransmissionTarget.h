#pragma once
// A transmission target: events tracked through it go to the unified
// collector under its token, with the values of its property configurator
// (and of its parents'). Targets form a tree; each can be enabled (a
// persisted flag, "AnalyticsIsEnabled/<target key>", never on under a
// disabled parent), paused and resumed. Targets live as long as the
// process: the service or their parent keeps them, and they stay among the
// channel group's delegates.
//
// Threads: safe from any thread; the enabled flag and the children are
// kept under the analytics service's lock.

#include "telemetry/Internals/Channel/TLMChannelGroupDefault.h"
#include "telemetry/TLMFlags.h"
#include "telemetry/TelemetryAnalytics/Model/TLMEventProperties.h"
#include "telemetry/core/Channel/TLMChannelDelegate.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

class TLMPropertyConfigurator;

// What the host's authentication gives the unified-collector logs of
// targets: a ticket key for each log and a look at the token's expiry.
class TLMAnalyticsAuthenticationProvider {
public:
    virtual ~TLMAnalyticsAuthenticationProvider() = default;
    virtual void acquireTokenAsync() = 0;
    virtual std::string ticketKeyHash() const = 0;
    virtual void checkTokenExpiry() = 0;
};

class TLMAnalyticsTransmissionTarget : public TLMChannelDelegate,
                                       public std::enable_shared_from_this<TLMAnalyticsTransmissionTarget> {
    struct Key {};

public:
    using Properties = std::map<std::string, std::string>;

    // A target of the token under `parent` (none: top level), registered
    // with its configurator as delegates of the group. A target made under
    // a disabled parent (or service) starts disabled.
    static std::shared_ptr<TLMAnalyticsTransmissionTarget> make(const std::string& token,
                                                                std::shared_ptr<TLMAnalyticsTransmissionTarget> parent,
                                                                std::shared_ptr<TLMChannelGroupDefault> channelGroup);
    TLMAnalyticsTransmissionTarget(Key, const std::string& token,
                                   std::shared_ptr<TLMAnalyticsTransmissionTarget> parent,
                                   std::shared_ptr<TLMChannelGroupDefault> channelGroup);

    const std::string& transmissionTargetToken() const { return mTransmissionTargetToken; }
    const std::string& isEnabledKey() const { return mIsEnabledKey; }
    const std::shared_ptr<TLMAnalyticsTransmissionTarget>& parentTarget() const { return mParentTarget; }
    const std::shared_ptr<TLMPropertyConfigurator>& propertyConfigurator() const { return mPropertyConfigurator; }

    void trackEvent(const std::string& eventName);
    void trackEvent(const std::string& eventName, const Properties& properties);
    void trackEvent(const std::string& eventName, const Properties& properties, TLMFlags flags);
    void trackEventWithTypedProperties(const std::string& eventName,
                                       const std::shared_ptr<TLMEventProperties>& properties);
    // The defaults of this target and its parents (nearer ones win), then
    // the given properties over them, through the analytics service.
    void trackEventWithTypedProperties(const std::string& eventName,
                                       const std::shared_ptr<TLMEventProperties>& properties, TLMFlags flags);

    // The child target of that token, made on first request.
    std::shared_ptr<TLMAnalyticsTransmissionTarget> transmissionTargetForToken(const std::string& token);

    // The persisted flag; true when nothing is stored.
    bool isEnabled() const;
    // Enabling under a disabled parent is refused with a warning; otherwise
    // the flag is stored (an enabled target resumes), and the value goes to
    // every child either way.
    void setEnabled(bool isEnabled);
    // Sending of this token's logs; refused with an error while disabled.
    void pause();
    void resume();
    // The parent's flag, or the analytics service's for a top-level target.
    bool isImmediateParent() const;

    static void addAuthenticationProvider(std::shared_ptr<TLMAnalyticsAuthenticationProvider> provider);
    static std::shared_ptr<TLMAnalyticsAuthenticationProvider> authenticationProvider();
    static void setAuthenticationProvider(std::shared_ptr<TLMAnalyticsAuthenticationProvider> provider);

    // Unified-schema logs of this token get the provider's ticket key.
    void channelPrepareLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log) override;

private:
    std::vector<std::shared_ptr<TLMAnalyticsTransmissionTarget>> children() const;

    const std::string mTransmissionTargetToken;
    const std::string mIsEnabledKey;
    const std::shared_ptr<TLMAnalyticsTransmissionTarget> mParentTarget;
    const std::shared_ptr<TLMChannelGroupDefault> mChannelGroup;
    std::shared_ptr<TLMPropertyConfigurator> mPropertyConfigurator;

    // Under the analytics service's lock.
    std::map<std::string, std::shared_ptr<TLMAnalyticsTransmissionTarget>> mChildTransmissionTargets;
};
