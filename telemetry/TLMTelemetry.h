#pragma once
// The telemetry client's entry: configured once with a start string (an
// application secret and/or a transmission target token), it makes the HTTP
// client, the default ingestion and the channel group, starts the services
// it is given, announces them in a start-service log, and switches them all
// on or off.

#include "telemetry/Internals/Channel/TLMChannelGroupDefault.h"
#include "telemetry/Internals/Channel/TLMUnifiedCollectorChannelDelegate.h"
#include "telemetry/Internals/Ingestion/TLMDefaultIngestion.h"
#include "telemetry/TLMServiceHost.h"

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

class TLMTelemetry : public TLMServiceHost {
public:
    // The group id of the client's own channel unit (start-service logs).
    static constexpr const char* kGroupId = "Telemetry";

    // Made on first use and never destroyed: its queues may still run while
    // the process ends.
    static TLMTelemetry& sharedInstance();
    // Lets the shared client go, as a new process would find none: its
    // channel group is switched off (nothing more is stored or sent; calls
    // on the wire are cancelled) once what its logs queue holds is done, its
    // HTTP client stops watching the network, and the installation id and
    // data residency region are forgotten. The next
    // use makes a client that was never configured. The services it started
    // stay as they are (they have resets of their own). For tests that run
    // one after another in a process.
    static void resetSharedInstanceForTests();

    // Configures the client with the start string's application secret
    // (a text without blanks or control characters) and transmission target
    // token, then starts the services, higher initialisation priority first,
    // and sends a start-service log naming them. A start string with neither,
    // or with a malformed secret, is logged and configures nothing; a second
    // call starts only services not started yet.
    static void start(const std::string& startString, const std::vector<TLMServiceClass>& services);

    // The whole client: false until configured, then the persisted flag
    // "TelemetryIsEnabled" (true when nothing is stored).
    static bool isEnabled();
    // Switches the client, its channels and every started service;
    // persisted. Disabling deletes every stored log.
    static void setEnabled(bool isEnabled);

    // The tag of the client's own messages: "Telemetry".
    static std::string logTag();

    // The installation's identifier: the UUID text stored under
    // "InstallId", made and stored when absent or unreadable. Read once.
    static std::string installId();
    // True when a debugger (any tracer) is attached to the process.
    static bool isDebuggerAttached();
    // The "TracerPid" of a /proc/<pid>/status text; 0 when there is none.
    static long tracerPidFromStatus(const std::string& statusText);

    // The region the logs are to stay in, written into every log; none by
    // default.
    static std::optional<std::string> dataResidencyRegion();
    static void setDataResidencyRegion(std::optional<std::string> region);

    // The base URL of the default ingestion (TLMDefaultIngestion::
    // kDefaultBaseUrl unless set); takes effect at once.
    static void setLogUrl(const std::string& logUrl);

    bool isSdkConfigured() const override { return mSdkConfigured.load(); }
    // isEnabled() on this client.
    bool isClientEnabled() const override { return isSdkConfigured() && isInstanceEnabled(); }
    // True while setEnabled is switching the services.
    bool isEnabledStateUpdating() const override { return mEnabledStateUpdating.load(); }

    // The stored "NetworkRequestsAllowed", true when never stored. While
    // not allowed the channels hold their logs and send nothing.
    bool isNetworkRequestsAllowed() const;
    void setNetworkRequestsAllowed(bool isAllowed);

    // Hands a start-service log with those names (and whether a default
    // transmission target is configured) to the client's own unit; while the
    // client is disabled the names wait for it to be enabled again.
    void sendStartServiceLog(const std::vector<std::string>& servicesNames);

    std::optional<std::string> appSecret() const;
    std::optional<std::string> defaultTransmissionTargetToken() const;
    std::shared_ptr<TLMChannelGroupDefault> channelGroup() const;
    std::shared_ptr<TLMChannelUnitDefault> channelUnit() const;
    // Its base URL is where target logs go (setLogUrl).
    std::shared_ptr<TLMUnifiedCollectorChannelDelegate> unifiedCollectorChannelDelegate() const;

private:
    // Moves the client's settings of earlier releases to their keys and
    // lets archives restore the client's own records.
    TLMTelemetry();

    bool configure(const std::string& startString);
    bool startService(TLMServiceAbstract& service);
    bool canBeUsed() const;
    bool isInstanceEnabled() const;
    void setInstanceEnabled(bool isEnabled);

    mutable std::recursive_mutex mLock;
    std::atomic<bool> mSdkConfigured{false};
    std::atomic<bool> mEnabledStateUpdating{false};
    std::optional<std::string> mAppSecret;
    std::optional<std::string> mDefaultTransmissionTargetToken;
    std::optional<std::string> mLogUrl;
    std::shared_ptr<TLMHttpClient> mHttpClient;
    std::shared_ptr<TLMDefaultIngestion> mIngestion;
    std::shared_ptr<TLMChannelGroupDefault> mChannelGroup;
    std::shared_ptr<TLMUnifiedCollectorChannelDelegate> mUnifiedCollectorChannelDelegate;
    std::shared_ptr<TLMChannelUnitDefault> mChannelUnit;
    std::vector<TLMServiceAbstract*> mServices;          // started ones; singletons that outlive the client
    std::vector<std::string> mStartedServiceNamesToLog;  // waiting for the client to be enabled
};
