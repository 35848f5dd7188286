#pragma once
// The base of the telemetry client's services (analytics, crashes): start
// with the client, a persisted enabled flag, and the service's own unit in
// the client's channel group. The client is reached through the host it
// hands over at start (TLMServiceHost), never through its singleton.
//
// C++ cannot overload a static and a member function of the same
// signature, so the per-instance sides of isEnabled/setEnabled are
// isInstanceEnabled/setInstanceEnabled; each service's static isEnabled and
// setEnabled act on its shared instance through classIsEnabled and
// classSetEnabled.

#include "telemetry/Internals/Channel/TLMChannelGroupDefault.h"
#include "telemetry/Internals/Channel/TLMChannelUnitConfiguration.h"
#include "telemetry/Internals/Channel/TLMChannelUnitDefault.h"
#include "telemetry/TLMServiceHost.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

class TLMServiceAbstract {
public:
    virtual ~TLMServiceAbstract() = default;
    TLMServiceAbstract(const TLMServiceAbstract&) = delete;
    TLMServiceAbstract& operator=(const TLMServiceAbstract&) = delete;

    // What the client asks of every service it starts.
    virtual std::string serviceName() const = 0;
    virtual std::string logTag() const = 0;
    const std::string& groupId() const { return mGroupId; }
    virtual int initializationPriority() const { return 500; }
    virtual bool isAppSecretRequired() const { return true; }
    // The configuration of the service's own unit; none for a service
    // without one.
    virtual std::optional<TLMChannelUnitConfiguration> channelUnitConfiguration() const { return std::nullopt; }

    // "<groupId>IsEnabled": the key of the persisted enabled flag.
    const std::string& isEnabledKey() const { return mIsEnabledKey; }

    // The persisted flag; true when nothing is stored.
    bool isInstanceEnabled() const;
    // Nothing when unchanged; otherwise applies the state, then stores it.
    virtual void setInstanceEnabled(bool isEnabled);
    // Enables or disables the service's unit; disabling deletes its logs.
    virtual void applyEnabledState(bool isEnabled);

    // True when the service was started and its host is configured;
    // otherwise logs the "hasn't been started" error.
    bool canBeUsed() const;
    bool isAvailable() const;

    // Records the host, group, secret, token and origin, marks the service
    // started, adds its unit to the group and applies the enabled state.
    // The host outlives the service's use of it (the client is never
    // destroyed).
    virtual void startWithChannelGroup(TLMServiceHost& host, std::shared_ptr<TLMChannelGroupDefault> channelGroup,
                                       std::optional<std::string> appSecret,
                                       std::optional<std::string> transmissionTargetToken, bool fromApplication);

    // Marks the service as started from the application, stores the secret
    // and token, and applies the enabled state again when enabled.
    virtual void updateConfigurationWithAppSecret(std::optional<std::string> appSecret,
                                                  std::optional<std::string> transmissionTargetToken);

    bool started() const;
    bool isStartedFromApplication() const;
    std::shared_ptr<TLMChannelGroupDefault> channelGroup() const;
    std::shared_ptr<TLMChannelUnitDefault> channelUnit() const;
    std::optional<std::string> appSecret() const;
    std::optional<std::string> defaultTransmissionTargetToken() const;

protected:
    explicit TLMServiceAbstract(std::string groupId);

    // The static isEnabled/setEnabled of every service, on its instance and
    // under the instance's lock.
    static bool classIsEnabled(TLMServiceAbstract& instance);
    static void classSetEnabled(TLMServiceAbstract& instance, bool isEnabled);

    // The service's own lock; recursive because start and the class
    // operations reach the instance operations that take it too.
    std::recursive_mutex& lock() const { return mLock; }

private:
    const std::string mGroupId;
    const std::string mIsEnabledKey;
    mutable std::recursive_mutex mLock;
    bool mStarted = false;
    bool mStartedFromApplication = false;
    TLMServiceHost* mHost = nullptr;  // set at start
    std::shared_ptr<TLMChannelGroupDefault> mChannelGroup;
    std::shared_ptr<TLMChannelUnitDefault> mChannelUnit;
    std::optional<std::string> mAppSecret;
    std::optional<std::string> mDefaultTransmissionTargetToken;
};
