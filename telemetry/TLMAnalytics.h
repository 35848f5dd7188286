#pragma once
// The analytics service: counts named usage events and page views and
// hands them, as logs, to its channel units "Analytics" and
// "Analytics_critical" (by the low byte of the flags: 2 is critical, 1
// normal). Events tracked for a transmission target go to the unified
// collector instead. Names and properties are validated on the way, and
// every log carries the session of the session tracker.
//
// The class operations act on the shared instance. C++ cannot overload a
// static and a member function of one signature, so the documented
// instance operations that only forward (track, pause, resume, targets,
// interval) are the static ones here.
//
// Threads: safe from any thread. Track, pause and resume run under the
// service's lock; validation and the sending callbacks run on the channel
// group's logs queue.

#include "telemetry/Internals/Model/TLMLogWithNameAndProperties.h"
#include "telemetry/TLMFlags.h"
#include "telemetry/TLMServiceAbstract.h"
#include "telemetry/TelemetryAnalytics/Internals/Session/TLMSessionTracker.h"
#include "telemetry/TelemetryAnalytics/Model/TLMEventProperties.h"
#include "telemetry/core/Channel/TLMChannelDelegate.h"
#include "telemetry/core/Model/TLMAbstractLog.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class TLMAnalytics;
class TLMAnalyticsTransmissionTarget;
class TLMEventLog;
class TLMPageLog;

// Told of the service's event and page logs around sending, on the logs
// queue. Every method has an empty default.
class TLMAnalyticsDelegate {
public:
    virtual ~TLMAnalyticsDelegate() = default;
    virtual void analyticsWillSendEventLog(TLMAnalytics&, const std::shared_ptr<TLMEventLog>&) {}
    virtual void analyticsWillSendPageLog(TLMAnalytics&, const std::shared_ptr<TLMPageLog>&) {}
    virtual void analyticsDidSucceedSendingEventLog(TLMAnalytics&, const std::shared_ptr<TLMEventLog>&) {}
    virtual void analyticsDidSucceedSendingPageLog(TLMAnalytics&, const std::shared_ptr<TLMPageLog>&) {}
    virtual void analyticsDidFailSendingEventLog(TLMAnalytics&, const std::shared_ptr<TLMEventLog>&,
                                                 const platform::Error&) {}
    virtual void analyticsDidFailSendingPageLog(TLMAnalytics&, const std::shared_ptr<TLMPageLog>&,
                                                const platform::Error&) {}
};

class TLMAnalytics : public TLMServiceAbstract,
                     public TLMChannelDelegate,
                     public TLMSessionTrackerDelegate,
                     public std::enable_shared_from_this<TLMAnalytics> {
public:
    using Properties = std::map<std::string, std::string>;
    using TargetPointer = std::shared_ptr<TLMAnalyticsTransmissionTarget>;

    static constexpr std::uint64_t kMinFlushInterval = 6;
    static constexpr std::uint64_t kMaxFlushInterval = 86400;
    // Limits of names and typed properties, in UTF-16 units.
    static constexpr std::size_t kMaxEventNameLength = 256;
    static constexpr std::size_t kMaxTypedProperties = 20;
    static constexpr std::size_t kMaxTypedPropertyLength = 125;

    static TLMAnalytics& sharedInstance();
    static std::shared_ptr<TLMAnalytics> sharedPointer();
    // Stops the session tracker of the current instance and lets the next
    // use make a new one. The old instance is kept (the client may still
    // hold it) but leaves the channel group's delegates.
    static void resetSharedInstance();

    // False before the service is started (with the "hasn't been started"
    // error), otherwise the persisted enabled flag.
    static bool isEnabled();
    // Switches the service and its transmission targets when it was started
    // and the client is enabled (or switching itself); with the client off
    // it logs an error and changes nothing.
    static void setEnabled(bool isEnabled);

    // One event with string properties (each a string typed property). No
    // target means the default target, if the service has one.
    static void trackEvent(const std::string& eventName);
    static void trackEvent(const std::string& eventName, const Properties& properties);
    static void trackEvent(const std::string& eventName, const Properties& properties, TLMFlags flags);
    static void trackEvent(const std::string& eventName, const Properties& properties, const TargetPointer& target,
                           TLMFlags flags);
    static void trackEventWithTypedProperties(const std::string& eventName,
                                              const std::shared_ptr<TLMEventProperties>& properties);
    static void trackEventWithTypedProperties(const std::string& eventName,
                                              const std::shared_ptr<TLMEventProperties>& properties, TLMFlags flags);
    // Nothing before start or while disabled; a disabled target refuses
    // the event with an error. Flags whose low byte is neither 1 nor 2 are
    // normal, with a warning. Without a target the typed properties are
    // validated here (at most 20, names and texts cut).
    static void trackEventWithTypedProperties(const std::string& eventName,
                                              const std::shared_ptr<TLMEventProperties>& properties,
                                              const TargetPointer& target, TLMFlags flags);
    static void trackPage(const std::string& pageName);
    static void trackPage(const std::string& pageName, const Properties& properties);

    // Sending of both units, held or let go by the service.
    static void pause();
    static void resume();

    static void startSession();
    static void enableManualSessionTracker();

    // Whether screens that appear are tracked as pages (once the page-view
    // hook is activated, TLMAnalyticsCategory).
    static void setAutoPageTrackingEnabled(bool isEnabled);
    static bool isAutoPageTrackingEnabled();

    // Seconds between flushes of the "Analytics" unit: 6 to 86,400, set
    // before start.
    static std::uint64_t transmissionInterval();
    static void setTransmissionInterval(std::uint64_t interval);

    // The top-level target of that token, made on first request.
    static TargetPointer transmissionTargetForToken(const std::string& token);
    // Sending of the logs of that token in both unified-collector units.
    static void pauseTransmissionTargetForToken(const std::string& token);
    static void resumeTransmissionTargetForToken(const std::string& token);

    static void setDelegate(std::shared_ptr<TLMAnalyticsDelegate> delegate);

    // ---- The service
    std::string serviceName() const override { return "Analytics"; }
    std::string logTag() const override { return "TelemetryAnalytics"; }
    bool isAppSecretRequired() const override { return false; }
    std::optional<TLMChannelUnitConfiguration> channelUnitConfiguration() const override;
    void startWithChannelGroup(TLMServiceHost& host, std::shared_ptr<TLMChannelGroupDefault> channelGroup,
                               std::optional<std::string> appSecret, std::optional<std::string> transmissionTargetToken,
                               bool fromApplication) override;
    void updateConfigurationWithAppSecret(std::optional<std::string> appSecret,
                                          std::optional<std::string> transmissionTargetToken) override;
    // The base's switch, then the same value on every target.
    void setInstanceEnabled(bool isEnabled) override;
    // Both units; enabled (started from the application) it also resumes
    // sending, starts the session tracker and joins the group's delegates,
    // disabled it leaves them, stops the tracker and forgets the sessions.
    void applyEnabledState(bool isEnabled) override;

    // The service's lock, which the transmission targets share.
    using TLMServiceAbstract::lock;

    // Enqueues the log on "Analytics_critical" when the flags' low byte is
    // 2, else on "Analytics".
    void sendLog(std::shared_ptr<TLMAbstractLog> log, TLMFlags flags);

    std::uint64_t flushInterval() const { return mFlushInterval.load(); }
    std::shared_ptr<TLMChannelUnitDefault> criticalChannelUnit() const;
    const std::shared_ptr<TLMSessionTracker>& sessionTracker() const { return mSessionTracker; }
    TargetPointer defaultTransmissionTarget() const;

    // ---- Validation
    // Event and page logs whose name is refused are dropped; the others get
    // their validated name and string properties.
    bool channelUnitShouldFilterLog(TLMChannelUnitDefault& channelUnit,
                                    const std::shared_ptr<TLMAbstractLog>& log) override;
    static bool validateLog(TLMLogWithNameAndProperties& log);
    // None (with an error) for an empty name; a name longer than 256 units
    // is cut, between characters, with a warning.
    static std::optional<std::string> validateEventName(const std::string& eventName, const std::string& logType);
    // At most 20 properties, each validated, in name order.
    static std::shared_ptr<TLMEventProperties> validateTelemetryEventProperties(const TLMEventProperties& properties);
    // A copy with its name and text cut; none for an unknown kind.
    static std::shared_ptr<TLMTypedProperty> validateTelemetryTypedProperty(const TLMTypedProperty& property);
    // Longer than 125 units: a warning and the first 124 (between
    // characters).
    static std::string validateTelemetryPropertyName(const std::string& name);
    static std::string validateTelemetryStringTypedPropertyValue(const std::string& value);

    // ---- Sending callbacks, passed on to the analytics delegate
    void channelWillSendLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log) override;
    void channelDidSucceedSendingLog(TLMChannelUnitDefault& channel,
                                     const std::shared_ptr<TLMAbstractLog>& log) override;
    void channelDidFailSendingLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log,
                                  const platform::Error& error) override;

    // Start-session logs leave with normal flags.
    void sessionTrackerProcessLog(TLMSessionTracker& sessionTracker,
                                  const std::shared_ptr<TLMAbstractLog>& log) override;

private:
    TLMAnalytics();

    TargetPointer createTransmissionTargetForToken(const std::string& token);
    void setUnitsPaused(bool paused);
    std::shared_ptr<TLMChannelUnitDefault> unifiedCollectorChannelUnit(bool critical);
    std::shared_ptr<TLMAnalyticsDelegate> delegate() const;
    void joinChannelGroup(bool join);

    std::atomic<bool> mAutoPageTrackingEnabled{false};
    std::atomic<std::uint64_t> mFlushInterval{kMinFlushInterval};
    std::shared_ptr<TLMSessionTracker> mSessionTracker;

    // Under the service's lock.
    std::optional<TLMChannelUnitConfiguration> mChannelUnitConfiguration;
    std::map<std::string, TargetPointer> mTransmissionTargets;
    TargetPointer mDefaultTransmissionTarget;
    std::shared_ptr<TLMChannelUnitDefault> mCriticalChannelUnit;
    std::shared_ptr<TLMChannelUnitDefault> mUnifiedCollectorChannelUnit;
    std::shared_ptr<TLMChannelUnitDefault> mUnifiedCollectorCriticalChannelUnit;

    mutable std::mutex mDelegateMutex;
    std::shared_ptr<TLMAnalyticsDelegate> mDelegate;
};
