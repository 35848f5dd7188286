#pragma once
// The telemetry client's entry: configured once with the application secret,
// it starts the services it is given and switches them all on or off.

#include "telemetry/Internals/Channel/TLMChannelGroupDefault.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class TLMServiceAbstract;

// A service "class": the function that returns the service's shared
// instance, such as &TLMAnalytics::sharedInstance.
using TLMServiceClass = std::function<TLMServiceAbstract&()>;

class TLMTelemetry {
public:
    static TLMTelemetry& sharedInstance();

    // Configures the client with the application secret (a non-empty text
    // without blanks or control characters) and starts the services, higher
    // initialisation priority first. A bad secret is logged and nothing is
    // configured or started; a second call starts only services not started
    // yet.
    static void start(const std::string& appSecret, const std::vector<TLMServiceClass>& services);

    // The whole client: false until configured, then the persisted flag
    // "TelemetryIsEnabled" (true when nothing is stored).
    static bool isEnabled();
    // Switches the client and every started service; persisted.
    static void setEnabled(bool isEnabled);

    // The tag of the client's own messages: "Telemetry".
    static std::string logTag();

    bool isSdkConfigured() const { return mSdkConfigured.load(); }
    // True while setEnabled is switching the services.
    bool isEnabledStateUpdating() const { return mEnabledStateUpdating.load(); }

    std::optional<std::string> appSecret() const;
    std::shared_ptr<TLMChannelGroupDefault> channelGroup() const;

private:
    // Moves the client's settings of earlier releases to their keys and
    // lets archives restore the client's own records.
    TLMTelemetry();

    bool configureWithAppSecret(const std::string& appSecret);
    void startService(TLMServiceAbstract& service);
    bool canBeUsed() const;
    bool isInstanceEnabled() const;
    void setInstanceEnabled(bool isEnabled);

    mutable std::recursive_mutex mLock;
    std::atomic<bool> mSdkConfigured{false};
    std::atomic<bool> mEnabledStateUpdating{false};
    std::optional<std::string> mAppSecret;
    std::shared_ptr<TLMChannelGroupDefault> mChannelGroup;
    std::vector<TLMServiceAbstract*> mServices;  // started ones; singletons that outlive the client
};
